#include "app/qt/dialog_template.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include "app/qt/drop_down_combo.h"
#include "app/qt/pictures.h"

DialogTemplate LoadDialogTemplate(const QString& name) {
    DialogTemplate t;
    QFile file(":/dialogs/" + name + ".json");
    if (!file.open(QIODevice::ReadOnly)) return t;
    QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    t.id = root.value("id").toInt();
    t.name = root.value("name").toString();
    t.caption = root.value("caption").toString();
    QJsonArray size = root.value("size").toArray();
    t.units = QSize(size.at(0).toInt(), size.at(1).toInt());
    for (const QJsonValue& v : root.value("controls").toArray()) {
        QJsonObject c = v.toObject();
        DialogItem item;
        item.id = c.value("id").toInt(-1);
        item.name = c.value("name").toString();
        item.kind = c.value("kind").toString();
        for (const QJsonValue& s : c.value("styles").toArray()) item.styles << s.toString();
        item.text = c.value("text").toString();
        QJsonArray r = c.value("rect").toArray();
        item.units = QRect(r.at(0).toInt(), r.at(1).toInt(), r.at(2).toInt(), r.at(3).toInt());
        item.image = c.value("image").toInt();
        t.items.push_back(item);
    }
    return t;
}

QSize DialogBaseUnits(const QFont& font) {
    // The dialog manager's measure: the width of the 52 letters, averaged and rounded, and the
    // font's full character height.
    QFontMetrics metrics(font);
    int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect MapDialogRect(const QRect& u, QSize base) {
    int left = u.x() * base.width() / 4, top = u.y() * base.height() / 8;
    int right = (u.x() + u.width()) * base.width() / 4;
    int bottom = (u.y() + u.height()) * base.height() / 8;
    return QRect(left, top, right - left, bottom - top);
}

namespace {

QWidget* MakeControl(QWidget& dialog, const DialogItem& item) {
    const QString& kind = item.kind;
    if (kind == "radio") return new QRadioButton(item.text, &dialog);
    if (kind == "check") return new QCheckBox(item.text, &dialog);
    if (kind == "pushbutton" || kind == "defpushbutton") {
        auto* button = new QPushButton(item.text, &dialog);
        button->setDefault(kind == "defpushbutton");
        return button;
    }
    if (kind == "combo") {
        auto* combo = new DropDownCombo(&dialog);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setDuplicatesEnabled(true);
        // What is typed is what is used: a completion could put a list entry that only
        // begins with the text, or differs from it in case, in its place.
        combo->setCompleter(nullptr);
        combo->lineEdit()->setText(item.text);
        return combo;
    }
    if (kind == "groupbox") {
        auto* box = new QGroupBox(item.text, &dialog);
        box->setFocusPolicy(Qt::NoFocus);
        return box;
    }
    if (kind == "progress") {
        auto* bar = new QProgressBar(&dialog);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    auto* label = new QLabel(&dialog);
    if (kind == "bitmap" || kind == "icon") {
        label->setPixmap(LoadPicture(item.image));
    } else {
        label->setTextFormat(Qt::PlainText);
        label->setText(item.text);
    }
    return label;
}

}  // namespace

BuiltDialog BuildDialog(QWidget& dialog, const DialogTemplate& t) {
    BuiltDialog built;
    const QSize base = DialogBaseUnits(dialog.font());
    dialog.setWindowTitle(t.caption);
    QWidget* previousStop = nullptr;
    for (const DialogItem& item : t.items) {
        QWidget* w = MakeControl(dialog, item);
        if (!item.name.isEmpty()) w->setObjectName(item.name);
        QRect r = MapDialogRect(item.units, base);
        if (item.kind == "combo") {
            // The template's height includes the dropped-down list; the closed box is as high
            // as its font needs.
            r.setHeight(w->sizeHint().height());
        } else if (item.kind == "bitmap" || item.kind == "icon") {
            // A picture control takes the size of its picture, at the template's corner.
            r.setSize(static_cast<QLabel*>(w)->pixmap().size());
        } else if (item.kind == "radio" || item.kind == "check" || item.kind == "ltext") {
            // Text gets the room the desktop's font needs, never less than the template's.
            if (!item.text.isEmpty() && w->sizeHint().width() > r.width())
                r.setWidth(w->sizeHint().width());
            if (w->sizeHint().height() > r.height() && item.kind != "ltext") {
                r.translate(0, (r.height() - w->sizeHint().height()) / 2);
                r.setHeight(w->sizeHint().height());
            }
        }
        w->setGeometry(r);
        if (item.kind == "groupbox") w->lower();
        if (item.styles.contains("WS_TABSTOP")) {
            if (previousStop) QWidget::setTabOrder(previousStop, w);
            previousStop = w;
        } else if (item.kind != "groupbox") {
            w->setFocusPolicy(Qt::NoFocus);
        }
        if (item.id != -1) built.byId[item.id] = w;
        built.inOrder.push_back(w);
    }
    QRect client = MapDialogRect(QRect(QPoint(0, 0), t.units), base);
    dialog.setFixedSize(client.size());
    return built;
}
