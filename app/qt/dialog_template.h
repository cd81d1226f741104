// Dialog templates kept as data in the program's resources, and the controls built from them:
// positions are in dialog units, turned into pixels with the base units of the dialog's font
// the way the dialog manager does it, and the template's order is the tab order.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <map>
#include <vector>

class QWidget;

struct DialogItem {
    int id = -1;
    QString name;
    QString kind;  // radio, check, pushbutton, defpushbutton, combo, groupbox, ltext, bitmap,
                   // icon, progress
    QStringList styles;
    QString text;
    QRect units;
    int image = 0;
};

struct DialogTemplate {
    int id = 0;
    QString name;
    QString caption;
    QSize units;
    std::vector<DialogItem> items;
};

// The template compiled in as :/dialogs/<name>.json; empty (id 0) when it is missing.
DialogTemplate LoadDialogTemplate(const QString& name);

// Average character width and character height of a font, in pixels.
QSize DialogBaseUnits(const QFont& font);
QRect MapDialogRect(const QRect& units, QSize baseUnits);

// The controls of a template, made as children of the dialog and placed; the dialog gets the
// template's caption and its fixed size.
struct BuiltDialog {
    std::map<int, QWidget*> byId;   // controls that have an identifier
    std::vector<QWidget*> inOrder;  // every control, in template order
};
BuiltDialog BuildDialog(QWidget& dialog, const DialogTemplate& dialogTemplate);
