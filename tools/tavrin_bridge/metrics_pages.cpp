#include "tools/tavrin_bridge/metrics_pages.h"

#include "tools/tavrin_bridge/metrics.h"

namespace {

const char kIndexPage[] =
    "<!DOCTYPE html>\n<html><head><title>tavrin_bridge</title></head>\n"
    "<body><h1>tavrin_bridge</h1><p><a href=\"/metrics\">Metrics</a></p></body></html>\n";

std::string Exposition(const BridgeMetrics& metrics) { return metrics.Exposition(); }
std::string IndexPage(const BridgeMetrics&) { return kIndexPage; }

struct Reason {
    int status;
    const char* text;
};
const Reason kReasons[] = {{kHttpOk, "OK"},
                           {kHttpBadRequest, "Bad Request"},
                           {kHttpUnauthorized, "Unauthorized"},
                           {kHttpNotFound, "Not Found"},
                           {kHttpMethodNotAllowed, "Method Not Allowed"}};

}  // namespace

const MetricsPage kMetricsPages[kMetricsPageCount] = {
    {"/metrics", "text/plain; version=0.0.4; charset=utf-8", Exposition},
    {"/", "text/html; charset=utf-8", IndexPage},
};

const MetricsPage* FindMetricsPage(std::string_view path) {
    for (const MetricsPage& page : kMetricsPages)
        if (path == page.path) return &page;
    return nullptr;
}

const char* HttpReason(int status) {
    for (const Reason& r : kReasons)
        if (r.status == status) return r.text;
    return "";
}
