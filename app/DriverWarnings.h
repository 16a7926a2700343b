#pragma once

// Qt's ODBC driver logs a warning of its own for every failed statement. The
// program reports each of those failures itself, with the driver's text, so
// the driver's copies are dropped; every other message goes on as before.
void SuppressDriverWarnings();
