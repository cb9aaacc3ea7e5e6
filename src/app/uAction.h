#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QWidget;

// A menu text with its mnemonic marked by "&" ("&&" for an ampersand), as the user reads it.
QString WithoutMnemonic(const QString& Text);

// One entry of the window's action list: caption, hint, enabled state, check mark, shortcut
// and the handler that runs it. The check mark changes only through SetChecked, never by
// running the action, so a handler always sees the state that was shown when the user chose
// the entry.
class TAction : public QObject {
  Q_OBJECT

public:
  using TNotifyEvent = std::function<void(QObject* Sender)>;

  // An action without a handler is shown disabled. The caption marks its mnemonic with "&".
  TAction(QObject* Owner, const QString& Caption, bool Checked, TNotifyEvent OnExecute);

  // The caption as the user reads it; the hint is the same text.
  QString Caption() const { return WithoutMnemonic(FCaption); }
  QString Hint() const { return Caption(); }
  bool Enabled() const { return static_cast<bool>(FOnExecute); }
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  // The key that runs the action while the window is active; shown in every menu entry.
  void SetShortCut(const QKeySequence& Value);

  // Runs the handler with the action itself as the sender.
  void Execute();

  // Adds an entry bound to this action to a menu or menu bar. Its caption (mnemonic marked
  // with "&") and hint are the action's unless ACaption is given; its enabled state, check
  // mark and shortcut follow the action, and choosing it runs Execute.
  QAction* AddTo(QWidget* Menu, const QString& ACaption = QString());

signals:
  void Changed();

private:
  void Show(QAction* Item) const;

  QString FCaption;
  bool FChecked;
  QKeySequence FShortCut;
  TNotifyEvent FOnExecute;
};
