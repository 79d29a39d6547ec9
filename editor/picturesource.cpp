#include "editor/picturesource.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeData>

namespace {

// Whether some pixel is not fully opaque: images from the clipboard or a browser often
// have an alpha channel that nothing uses, and those are stored as JPEG.
bool HasTransparentPixel(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return false;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(line[x]) != 255)
                return true;
    }
    return false;
}

bool IsWebAddress(const QUrl& url)
{
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

}  // namespace

QImage COrlidoPictureSource::ReadImage(const QString& file)
{
    QImageReader reader(file);
    reader.setAutoTransform(true);
    return reader.read();
}

bool COrlidoPictureSource::MayHoldPicture(const QMimeData* data)
{
    if (data == nullptr)
        return false;
    if (data->hasImage())
        return true;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() || IsWebAddress(url))
            return true;
    return false;
}

COrlidoPictureSource COrlidoPictureSource::FromMimeData(const QMimeData* data)
{
    COrlidoPictureSource source;
    if (data == nullptr)
        return source;
    // A browser's drag carries the image itself besides its address; the image needs no network.
    if (data->hasImage()) {
        source.m_Image = qvariant_cast<QImage>(data->imageData());
        if (!source.m_Image.isNull()) {
            source.m_Kind = TKind::Image;
            return source;
        }
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            source.m_Image = ReadImage(url.toLocalFile());
            if (source.m_Image.isNull())
                continue;
            source.m_Kind = TKind::File;
            source.m_strCaption = QFileInfo(url.toLocalFile()).completeBaseName();
            return source;
        }
        if (IsWebAddress(url) && source.m_Address.isEmpty())
            source.m_Address = url;
    }
    if (!source.m_Address.isEmpty())
        source.m_Kind = TKind::WebAddress;
    return source;
}

COrlidoPictureSource COrlidoPictureSource::FromBytes(const QByteArray& bytes, const QUrl& address)
{
    COrlidoPictureSource source;
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    source.m_Image = reader.read();
    if (source.m_Image.isNull())
        return source;
    source.m_Kind = TKind::Image;
    source.m_Address = address;
    source.m_strCaption = QFileInfo(address.path()).completeBaseName();
    return source;
}

bool COrlidoPictureSource::Encode(QImage image, std::string& bytes, std::wstring& extension)
{
    if (image.isNull())
        return false;
    if (image.width() > StoredWidth || image.height() > StoredHeight)
        image =
            image.scaled(StoredWidth, StoredHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const bool transparent = HasTransparentPixel(image);
    if (!transparent)
        image = image.convertToFormat(QImage::Format_RGB32);
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, transparent ? "PNG" : "JPG", transparent ? -1 : 90))
        return false;
    bytes = encoded.toStdString();
    extension = transparent ? L".png" : L".jpg";
    return true;
}
