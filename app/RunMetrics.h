#pragma once

#include "app/RunReport.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The outcome of an all-devices run as a small metrics file in the Prometheus
// text format, for node_exporter's textfile collector: per device the time
// of the run, the punches in range, posted, already present and refused,
// whether it failed, how long it took and when it last succeeded; per run
// the exit status, the time and the duration.

// lastSuccess: per outcome (same order), when the device last succeeded.
QString RunMetricsText(const RunReport& report, const QList<std::optional<QDateTime>>& lastSuccess,
                       const QDateTime& endedAt, double runSeconds);

// Replaces the file at path with text in one step, readable by other users
// (the collector runs under an account of its own). False when it cannot.
bool WriteRunMetrics(const QString& path, const QString& text);
