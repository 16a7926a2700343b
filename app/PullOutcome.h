#pragma once

#include "app/DeviceRun.h"

#include <QString>

// What the progress window says when a pull is over, in the operator's
// language, one statement a line: how it ended (posted, cancelled, failed,
// not connected) and why, the punches received of those announced, how many
// lay in the range, were posted, already present or refused, the export
// file, and whether the link to the terminal is still open. linkOpen: the
// link after the pull; connectCaption: what the connect button reads now.
QString PullOutcomeText(const DeviceOutcome& outcome, bool linkOpen, const QString& connectCaption);
