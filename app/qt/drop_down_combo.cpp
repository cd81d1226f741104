#include "app/qt/drop_down_combo.h"

void DropDownCombo::showPopup() {
    emit aboutToShowPopup();  // before the popup takes its size from the list
    QComboBox::showPopup();
}
