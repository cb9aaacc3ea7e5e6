#include "app/uAction.h"

#include <QAction>
#include <QWidget>

QString WithoutMnemonic(const QString& Text) {
  QString result;
  result.reserve(Text.size());
  for (qsizetype i = 0; i < Text.size(); ++i) {
    if (Text[i] == QLatin1Char('&') && i + 1 < Text.size()) ++i;
    result += Text[i];
  }
  return result;
}

TAction::TAction(QObject* Owner, const QString& Caption, bool Checked, TNotifyEvent OnExecute)
    : QObject(Owner), FCaption(Caption), FChecked(Checked), FOnExecute(std::move(OnExecute)) {}

void TAction::SetChecked(bool Value) {
  if (Value == FChecked) return;
  FChecked = Value;
  emit Changed();
}

void TAction::SetShortCut(const QKeySequence& Value) {
  FShortCut = Value;
  emit Changed();
}

void TAction::Execute() {
  if (FOnExecute) FOnExecute(this);
}

QAction* TAction::AddTo(QWidget* Menu, const QString& ACaption) {
  const QString text = ACaption.isEmpty() ? FCaption : ACaption;
  auto* item = new QAction(text, Menu);
  item->setToolTip(WithoutMnemonic(text));
  item->setStatusTip(WithoutMnemonic(text));
  Show(item);
  connect(this, &TAction::Changed, item, [this, item] { Show(item); });
  // The toolkit flips a checkable entry's mark before it reports the choice; the mark is put
  // back first, so that only the handler decides what is checked.
  connect(item, &QAction::triggered, this, [this, item] {
    Show(item);
    Execute();
  });
  Menu->addAction(item);
  return item;
}

// Only a checked entry is checkable: an unchecked one then shows no empty box in front of it.
// Every entry shows the shortcut; only those of the menu bar take the key, since the context
// menu's entries belong to no widget of the window.
void TAction::Show(QAction* Item) const {
  Item->setEnabled(Enabled());
  Item->setCheckable(FChecked);
  Item->setChecked(FChecked);
  Item->setShortcut(FShortCut);
}
