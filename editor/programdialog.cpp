#include "editor/programdialog.h"

#include "editor/editortext.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

COrlidoProgramDialog::COrlidoProgramDialog(std::vector<COrlidoInstalledPrograms::TProgram> programs,
                                           QWidget* parent)
    : QDialog(parent), m_Programs(std::move(programs))
{
    setWindowTitle(Tr("Choose a program", "Välj ett program"));
    m_pFilter = new QLineEdit;
    m_pFilter->setPlaceholderText(Tr("Type part of its name", "Skriv en del av dess namn"));
    m_pList = new QListWidget;
    for (std::size_t i = 0; i < m_Programs.size(); ++i) {
        auto* item = new QListWidgetItem(m_Programs[i].Name, m_pList);
        item->setData(Qt::UserRole, static_cast<int>(i));
        item->setToolTip(m_Programs[i].Exec);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(Tr("&Choose", "&Välj"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pList, &QListWidget::itemActivated, this, &QDialog::accept);
    connect(m_pFilter, &QLineEdit::textChanged, this, &COrlidoProgramDialog::Narrow);
    // Enter in the filter chooses the first program still shown.
    connect(m_pFilter, &QLineEdit::returnPressed, this, [this] {
        if (GetChosen() != nullptr)
            accept();
    });

    auto* layout = new QVBoxLayout(this);
    auto* label =
        new QLabel(Tr("The program the picture starts:", "Programmet som bilden startar:"));
    label->setBuddy(m_pFilter);
    layout->addWidget(label);
    layout->addWidget(m_pFilter);
    layout->addWidget(m_pList, 1);
    if (m_Programs.empty())
        layout->addWidget(new QLabel(
            Tr("No installed programs were found.", "Inga installerade program hittades.")));
    layout->addWidget(buttons);
    Narrow({});
    resize(420, 480);
}

void COrlidoProgramDialog::Narrow(const QString& text)
{
    QListWidgetItem* first = nullptr;
    for (int row = 0; row < m_pList->count(); ++row) {
        QListWidgetItem* item = m_pList->item(row);
        const bool shown = item->text().contains(text, Qt::CaseInsensitive);
        item->setHidden(!shown);
        if (shown && first == nullptr)
            first = item;
    }
    if (m_pList->currentItem() == nullptr || m_pList->currentItem()->isHidden())
        m_pList->setCurrentItem(first);
}

const COrlidoInstalledPrograms::TProgram* COrlidoProgramDialog::GetChosen() const
{
    const QListWidgetItem* item = m_pList->currentItem();
    if (item == nullptr || item->isHidden())
        return nullptr;
    return &m_Programs[static_cast<std::size_t>(item->data(Qt::UserRole).toInt())];
}
