// Where a picture handed to the editor comes from, read from what was dropped or pasted: image
// data (a web browser's drag, a copied picture), a local file (the file manager's uri-list or
// a copied file), or a web address to fetch. And the picture as the content stores it: at
// most a size that suits the screen, as JPEG, or PNG when it has transparency.
#pragma once

#include <QImage>
#include <QString>
#include <QUrl>

#include <string>

class QMimeData;

class COrlidoPictureSource {
public:
    enum class TKind { None, Image, File, WebAddress };

    // The first usable thing the data holds: image data before a file before a web address.
    // A file that is no picture Qt can read is None.
    static COrlidoPictureSource FromMimeData(const QMimeData* data);
    // Bytes fetched from a web address; None when they are no picture.
    static COrlidoPictureSource FromBytes(const QByteArray& bytes, const QUrl& address);

    // Whether the data could hold a picture (for accepting a drag before it is dropped).
    static bool MayHoldPicture(const QMimeData* data);

    TKind GetKind() const { return m_Kind; }
    const QImage& GetImage() const { return m_Image; }
    const QUrl& GetAddress() const { return m_Address; }
    // A caption to offer: the file's name without its extension; empty for image data.
    const QString& GetSuggestedCaption() const { return m_strCaption; }

    // The picture reduced to at most StoredWidth x StoredHeight and encoded; false when it
    // cannot be encoded.
    static bool Encode(QImage image, std::string& bytes, std::wstring& extension);
    static constexpr int StoredWidth = 800;
    static constexpr int StoredHeight = 600;
    // More than this from the web is no picture the board should show.
    static constexpr qint64 MaxFetchedBytes = 32 * 1024 * 1024;

private:
    static QImage ReadImage(const QString& file);

    TKind m_Kind = TKind::None;
    QImage m_Image;
    QUrl m_Address;
    QString m_strCaption;
};
