#pragma once

#include "store/Records.h"

#include <QStringList>

// The settings dialog shows one set of connection fields, one export folder
// and one delete flag, and its Save writes them into every device. Where the
// stored devices differ in such a field (set per device with zelvor-settings),
// Save would replace their own values: the devices it would change and the
// fields, a line each ("Gate North: مجلد التصدير، حذف ملف التصدير"), in the
// stored order. Empty when the stored devices agree on every such field, so
// that an edit made in the dialog needs no confirmation.
QStringList FieldsSaveUnifies(const CConnServerList& stored, const CConnServer& saved);
