#include "app/MainServices.h"

#include "app/DeviceSession.h"

SessionTools SessionToolsOf(const MainServices& services, CTerminalLink& link,
                            ProgressSink& progress, MessageSink& messages)
{
    return SessionTools{.link = link,
                        .progress = progress,
                        .messages = messages,
                        .clock = services.clock,
                        .exeFolder = services.exeFolder,
                        .deviceTimeoutSeconds = services.options.deviceTimeoutSeconds};
}

RegistryStore& RecordsOf(const MainServices& services)
{
    return services.records ? *services.records : services.registry;
}

SessionTools SessionToolsOf(const MainServices& services)
{
    return SessionToolsOf(services, services.link, services.progress, services.messages);
}
