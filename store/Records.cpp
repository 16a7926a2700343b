#include "store/Records.h"

CConnServer FindConnServer(const CConnServerList& devices, const QString& name)
{
    for (const CConnServer& device : devices)
        if (device.Name == name)
            return device;
    return CConnServer();
}
