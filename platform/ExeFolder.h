#pragma once

#include <QString>

// The folder of the running executable, without a trailing separator; the empty
// text when the path cannot be obtained.
QString ExeFolder();

// The full path of the running executable; the empty text when it cannot be obtained.
QString ExePath();
