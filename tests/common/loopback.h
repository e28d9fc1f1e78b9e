#pragma once

namespace quorvane::test {

// A loopback port on which nothing listens: bound, then closed again, so a connection is refused.
int ClosedLoopbackPort();

}  // namespace quorvane::test
