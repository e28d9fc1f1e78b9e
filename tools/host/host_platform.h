#pragma once

namespace quorvane::host {

// Whether standard output is a terminal (the host colours nothing and pages nothing otherwise).
bool StdoutIsTerminal();

}  // namespace quorvane::host
