#include "platform/FileRegistryStore.h"

std::unique_ptr<RegistryStore> UserRegistry()
{
    return std::make_unique<FileRegistryStore>();
}
