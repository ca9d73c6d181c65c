#include "app/ui/program_icon.h"

#include <QFile>
#include <QImageReader>

QIcon ApplicationIcon() { return QIcon(QStringLiteral(":/icons/128.png")); }

QIcon LoadIconFile(const std::string& path) {
    const QString file = QString::fromStdString(path);
    if (path.empty() || !QFile::exists(file)) return QIcon();
    QImageReader reader(file);
    QImage image = reader.read();
    if (image.isNull()) return QIcon();
    return QIcon(QPixmap::fromImage(image));
}

QIcon& UserIcon() {
    static QIcon icon;
    return icon;
}

QIcon ProgramIconOrDefault() { return UserIcon().isNull() ? ApplicationIcon() : UserIcon(); }

QPixmap IconPixmap(int iconId, int size) {
    QPixmap pixmap(QStringLiteral(":/icons/%1.png").arg(iconId));
    if (pixmap.isNull()) return pixmap;
    return pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}
