#include "app/uOfficeMenuStyle.h"

#include <QFont>
#include <QWidget>

namespace {

// Blue bar and borders, pale menus with a blue gutter, an amber highlight framed in navy.
const char* const OfficeStyleSheet = R"(
QMenuBar {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #DDECFE, stop:1 #81A9E2);
    color: black;
    border-bottom: 1px solid #6A8CCB;
}
QMenuBar::item { background: transparent; padding: 2px 7px; }
QMenuBar::item:selected {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFF4CC, stop:1 #FFD091);
    border: 1px solid #000080;
}
QMenuBar::item:pressed {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #E3EFFF, stop:1 #9EBEF5);
    border: 1px solid #000080;
}
QMenu {
    background: qlineargradient(x1:0, y1:0, x2:1, y2:0,
                                stop:0 #E3EFFF, stop:0.08 #87ADE4, stop:0.0801 #FCFCF9, stop:1 #FCFCF9);
    color: black;
    border: 1px solid #002D96;
    padding: 1px;
}
QMenu::item { background: transparent; padding: 3px 24px 3px 28px; border: 1px solid transparent; }
QMenu::item:selected { background: #FFEEC2; border: 1px solid #000080; }
QMenu::item:disabled { color: #8D8D8D; }
QMenu::item:disabled:selected { background: transparent; border: 1px solid #8D8D8D; }
QMenu::separator { height: 1px; background: #6A8CCB; margin: 2px 2px 2px 30px; }
QMenu::indicator { width: 13px; height: 13px; left: 6px; }
)";

}  // namespace

void ApplyOfficeMenuStyle(QWidget* Menu) {
  Menu->setFont(QFont(QStringLiteral("Tahoma"), 8));
  Menu->setStyleSheet(QString::fromLatin1(OfficeStyleSheet));
}
