#pragma once
// What the server makes of one request once the session is open: the SQL of a query, or the
// text of the ERROR that answers it. Display- and socket-free, so the request path can be
// driven from bytes alone.

#include <string>

class CList;

struct RequestPlan {
    std::string Sql;   // UTF-8, to compile; empty when the request is refused
    std::string Error; // Windows-1252, the ERROR's text; empty for a query
};

RequestPlan PlanRequest(const CList& message);
