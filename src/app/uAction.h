#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QWidget;

// One entry of the window's action list: caption, hint, enabled state, check mark and the
// handler that runs it. The check mark changes only through SetChecked, never by running the
// action, so a handler always sees the state that was shown when the user chose the entry.
class TAction : public QObject {
  Q_OBJECT

public:
  using TNotifyEvent = std::function<void(QObject* Sender)>;

  // An action without a handler is shown disabled.
  TAction(QObject* Owner, const QString& Caption, bool Checked, TNotifyEvent OnExecute);

  const QString& Caption() const { return FCaption; }
  const QString& Hint() const { return FCaption; }
  bool Enabled() const { return static_cast<bool>(FOnExecute); }
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);

  // Runs the handler with the action itself as the sender.
  void Execute();

  // Adds an entry bound to this action to a menu or menu bar. Its caption and hint are the
  // action's unless ACaption is given; its enabled state and check mark follow the action,
  // and choosing it runs Execute.
  QAction* AddTo(QWidget* Menu, const QString& ACaption = QString());

signals:
  void Changed();

private:
  void Show(QAction* Item) const;

  QString FCaption;
  bool FChecked;
  TNotifyEvent FOnExecute;
};
