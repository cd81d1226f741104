// The dialog's combo box: a QComboBox that says when its list is about to drop down, so that
// a list kept from what the machine has now can be brought up to date first.
#pragma once

#include <QComboBox>

class DropDownCombo : public QComboBox {
    Q_OBJECT

  public:
    using QComboBox::QComboBox;
    void showPopup() override;

  signals:
    void aboutToShowPopup();
};
