#include "server/Request.h"

#include "core/CList.h"
#include "core/Cp1252.h"
#include "core/UOrvoCCommon.h"

RequestPlan PlanRequest(const CList& message) {
    RequestPlan plan;
    const std::string op = TrimControl(message.GetValue("OPERATION"));
    if (op != "QUERY") {
        plan.Error = "Operazione non riconosciuta: " + (op.empty() ? std::string("(nessuna)") : op);
        return plan;
    }
    // Fragments arrive in Windows-1252; the catalogue speaks UTF-8.
    const std::string select = Cp1252ToUtf8(message.GetValue("SELECT"));
    const std::string from = Cp1252ToUtf8(message.GetValue("FROM"));
    const std::string where = Cp1252ToUtf8(message.GetValue("WHERE"));
    const std::string order = Cp1252ToUtf8(message.GetValue("ORDERBY"));
    if (TrimControl(select).empty() || TrimControl(from).empty()) {
        plan.Error = "Richiesta incompleta: mancano le colonne o le tabelle.";
        return plan;
    }
    plan.Sql = "SELECT " + select + " FROM " + from;
    if (!TrimControl(where).empty()) {
        plan.Sql += " WHERE " + where;
    }
    if (!TrimControl(order).empty()) {
        plan.Sql += " ORDER BY " + order;
    }
    return plan;
}
