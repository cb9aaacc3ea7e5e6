#pragma once

#include <QIcon>

// The program's icon: two LED bars, green rising to yellow and red, on black.
QIcon StereoluxIcon();
