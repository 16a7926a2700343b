#pragma once

#include <QString>

// The running executable's full path as the system reports it, for use
// before (or without) an application object; the empty text when unknown.
// /proc/self/exe on Linux, GetModuleFileNameW on Windows.
QString ProcessImagePath();
