#pragma once

#include "app/DeviceRun.h"
#include "app/MainServices.h"

#include <optional>

// What the window's buttons do to a device, without the window.

// True, after saying so, when the range's first day lies after its last:
// then nothing is connected, pulled or written.
bool RangeRefused(const DownloadRange& range, MessageSink& messages);

// The connect button: the device's terminal looked up and a link opened to it
// that outlives the session.
SessionResult OpenLinkTo(CConnServer& device, const SessionTools& tools);

// The pull button: the device's way over plan (PullPlan), one at a time with
// the runs of the installation (a scheduled run posting at the same moment
// waits, or this pull does), and the device's last success read and moved
// under the same lock when the pull posted everything (RecordPullSuccess).
// Nothing when the lock was not had (said through the messages).
std::optional<DeviceOutcome> PullDevice(CConnServer& device, const DownloadRange& range,
                                        const SessionPlan& plan, DeviceRunTools& tools,
                                        const MainServices& services);
