#pragma once

// How long the installer waits on the network before it counts an attempt as failed. The test build
// (VELACORTE_SHORT_TIME_LIMITS, a build setting) shortens them so that its stalled hosts fail quickly.

namespace time_limits {

#ifdef VELACORTE_SHORT_TIME_LIMITS
inline constexpr unsigned long download_connect_ms = 5000;
inline constexpr unsigned long download_read_ms = 5000;
inline constexpr unsigned long query_connect_ms = 5000;
inline constexpr unsigned long query_answer_ms = 10000;
#else
// A download: connecting, then each wait for the next bytes of the reply.
inline constexpr unsigned long download_connect_ms = 30000;
inline constexpr unsigned long download_read_ms = 60000;
// A query of the query service: connecting, then the answer.
inline constexpr unsigned long query_connect_ms = 30000;
inline constexpr unsigned long query_answer_ms = 120000;
#endif

} // namespace time_limits
