#include "settings/DeviceChoice.h"

void NameListChoice::InsertString(int index, const QString& name)
{
    names.insert(qBound(0, index, int(names.size())), name);
}
