#pragma once

#include "app/RunOptions.h"

#include <QString>

#include <functional>
#include <memory>

class Clock;
class CTerminalLink;
class MessageSink;
class PasswordPrompt;
class ProgressSink;
class RegistryStore;
struct SessionTools;

// What the run control works with, given by the program (or a test).
struct MainServices {
    CTerminalLink& link;
    ProgressSink& progress;
    MessageSink& messages;
    const Clock& clock;
    RegistryStore& registry;
    PasswordPrompt& passwordPrompt;
    // The folder of the default export folder log/ and of the run lock: the
    // program's own, or its state folder when installed (platform/InstallLayout.h).
    QString exeFolder;
    // One line per device outcome of a start-up run; may be empty.
    std::function<void(const QString&)> log;
    // Makes a link for another thread of a parallel all-devices run; without
    // it the run takes one device after the other on link.
    std::function<std::unique_ptr<CTerminalLink>()> makeLink = {};
    RunOptions options = {};
    // The folder of config.ini; empty: exeFolder.
    QString configFolder = {};
    // The store of the last successes and run records (app/RunRecordStore.h);
    // null: registry.
    RegistryStore* records = nullptr;
};

RegistryStore& RecordsOf(const MainServices& services);

// The tools of a device session from the services, on the given link and
// sinks (a thread of a parallel run has its own), or on the services' own.
SessionTools SessionToolsOf(const MainServices& services, CTerminalLink& link,
                            ProgressSink& progress, MessageSink& messages);
SessionTools SessionToolsOf(const MainServices& services);
