#pragma once

#include <QString>

#include <functional>

class QCoreApplication;

// The interface's language: its own French texts, or English where the user's locale names
// another language. A locale that names none (unset, C, POSIX) keeps the French texts, so
// nothing changes for a user or a script that has not chosen a language.
enum class TUiLanguage { French, English };

// From LC_ALL, else LC_MESSAGES, else LANG, as the C library reads them.
TUiLanguage UiLanguage(const std::function<const char*(const char*)>& GetEnv);
TUiLanguage UiLanguage();

// Loads the catalogues of Language: the program's English one, or Qt's own French texts
// (context menus of the fields, standard buttons). Text() answers from then on; the
// application gets them with InstallTranslations.
void LoadTranslations(TUiLanguage Language);
void InstallTranslations(QCoreApplication& App);

// A text of the program in the interface's language; usable before the application exists.
QString Text(const char* Context, const char* Source);
