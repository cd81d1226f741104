#include "app/qt/pictures.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QSvgRenderer>

#include "app/resource_ids.h"

namespace {

QString PicturePath(int id, QSize size) {
    if (id == IDR_MAINFRAME)
        return size.width() == 16 ? ":/icons/idr_mainframe_16.svg" : ":/icons/idr_mainframe_32.svg";
    if (id == IDB_FILE || id == IDB_DRIVE) return QString(":/icons/bmp_%1.svg").arg(id);
    return QString(":/icons/anim_%1.svg").arg(id);
}

}  // namespace

QSize PictureSize(int id) {
    switch (id) {
        case IDR_MAINFRAME:
            return {32, 32};
        case IDB_FILE:
            return {9, 11};
        case IDB_DRIVE:
            return {15, 10};
        default:
            return {64, 16};
    }
}

QPixmap LoadPicture(int id, QSize size) {
    if (!size.isValid()) size = PictureSize(id);
    QSvgRenderer renderer(PicturePath(id, size));
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    if (!renderer.isValid()) return pixmap;
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

QIcon ApplicationIcon() {
    QIcon icon;
    icon.addPixmap(LoadPicture(IDR_MAINFRAME, {32, 32}));
    icon.addPixmap(LoadPicture(IDR_MAINFRAME, {16, 16}));
    return icon;
}

QString LoadResourceString(int id) {
    QFile file(":/strings.json");
    if (!file.open(QIODevice::ReadOnly)) return {};
    QJsonObject strings = QJsonDocument::fromJson(file.readAll()).object();
    return strings.value(QString::number(id)).toString();
}
