#include "ui/program_icon.h"

#include <QFile>
#include <QImageReader>

// The icons are compiled into the program's static GUI library; their
// registration must be pulled in explicitly.
static void InitIconResources() { Q_INIT_RESOURCE(resources); }

void EnsureIconResources() {
    static const bool done = [] {
        InitIconResources();
        return true;
    }();
    (void)done;
}

QIcon ApplicationIcon() {
    EnsureIconResources();
    return QIcon(QStringLiteral(":/icons/128.png"));
}

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
    EnsureIconResources();
    QPixmap pixmap(QStringLiteral(":/icons/%1.png").arg(iconId));
    if (pixmap.isNull()) return pixmap;
    return pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

int LampIconId(LampState state) {
    switch (state) {
    case LampState::Green: return kIconGreen;
    case LampState::Red: return kIconRed;
    case LampState::Grey: break;
    }
    return kIconGrey;
}

QIcon KeyIcon() { return QIcon(IconPixmap(kIconKey, 24)); }
