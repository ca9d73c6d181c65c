// What the metrics listener serves, whichever HTTP server carries it
// (cpp-httplib's with TLS and passwords, or the plain one of our own): the
// pages by path, and the status lines of every answer.
#pragma once
#include <string>
#include <string_view>

class BridgeMetrics;

struct MetricsPage {
    const char* path;
    const char* contentType;
    std::string (*body)(const BridgeMetrics&);
};
// GET /metrics (the exposition) and GET / (a short page that links to it).
inline constexpr size_t kMetricsPageCount = 2;
extern const MetricsPage kMetricsPages[kMetricsPageCount];
// The page served at `path` (without a query), or nullptr.
const MetricsPage* FindMetricsPage(std::string_view path);

enum HttpStatus { kHttpOk = 200, kHttpBadRequest = 400, kHttpUnauthorized = 401, kHttpNotFound = 404,
                  kHttpMethodNotAllowed = 405 };
// "Not Found" for 404; "" for a status not listed.
const char* HttpReason(int status);

// The answer to a request without the right password.
inline constexpr char kUnauthorizedType[] = "text/plain; charset=utf-8";
inline constexpr char kUnauthorizedBody[] = "Unauthorized\n";
inline constexpr char kAuthenticateHeader[] = "WWW-Authenticate";
inline constexpr char kAuthenticateValue[] = "Basic realm=\"tavrin_bridge\"";
