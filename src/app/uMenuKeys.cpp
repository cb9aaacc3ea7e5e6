#include "app/uMenuKeys.h"

#include "app/frmMain.h"
#include "meter_display/lxVumeter.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

namespace {

bool HasOwnMenu(const QWidget* Widget) {
  return qobject_cast<const QLineEdit*>(Widget) || qobject_cast<const QAbstractSpinBox*>(Widget);
}

// The controls keep the mouse's right click to themselves, as they always have; a keyboard
// request for a menu on them opens the window's context menu.
class TKeyboardMenuFilter : public QObject {
public:
  explicit TKeyboardMenuFilter(TfmMain& Form) : QObject(&Form), FForm(Form) {}

  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() != QEvent::ContextMenu) return false;
    auto* request = static_cast<QContextMenuEvent*>(Event);
    auto* widget = qobject_cast<QWidget*>(Watched);
    if (request->reason() != QContextMenuEvent::Keyboard || !widget || widget->window() != &FForm ||
        HasOwnMenu(widget) || HasOwnMenu(widget->parentWidget()))
      return false;
    FForm.AdvPopupMenu1->popup(widget->mapToGlobal(widget->rect().center()));
    return true;
  }

private:
  TfmMain& FForm;
};

void RequestMenuFromKeyboard(TfmMain& Form) {
  QWidget* target = QApplication::focusWidget();
  if (!target || target->window() != &Form) target = Form.Vumeter;
  const QPoint at = target->rect().center();
  QContextMenuEvent request(QContextMenuEvent::Keyboard, at, target->mapToGlobal(at));
  QApplication::sendEvent(target, &request);
}

}  // namespace

void InstallMenuKeys(TfmMain& Form) {
  qApp->installEventFilter(new TKeyboardMenuFilter(Form));

  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), &Form);
  QObject::connect(f10, &QShortcut::activated, &Form, [&Form] {
    const QList<QAction*> menus = Form.AdvMainMenu1->actions();
    if (!menus.isEmpty()) Form.AdvMainMenu1->setActiveAction(menus.front());
  });
  // The Menu key already asks the focused control for its menu; Shift+F10 does the same.
  auto* shiftF10 = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), &Form);
  QObject::connect(shiftF10, &QShortcut::activated, &Form,
                   [&Form] { RequestMenuFromKeyboard(Form); });
}
