#pragma once

namespace testsupport {

// A loopback port on which nothing listens (it was free a moment ago), so a
// connection to it is refused at once.
int ClosedPort();

} // namespace testsupport
