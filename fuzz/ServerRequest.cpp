// The server's request path from raw bytes to the rows: the framer cuts the stream, each
// message is planned as the session plans it and run on the sample catalogue, and every reply
// the server would send (ERROR, QUERYRESULT, each QUERYITEM, the last one) is decoded by the
// client's own decoder and stored by its own table.

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "core/CList.h"
#include "core/CMatrix.h"
#include "fuzz/FuzzCheck.h"
#include "server/Catalogue.h"
#include "server/CpuGate.h"
#include "server/QueryTask.h"
#include "server/Request.h"
#include "server/Wire.h"

namespace {

// Requests run per input, and batches stepped per request: enough to cross a batch boundary.
constexpr size_t MaxRequests = 4;
constexpr int MaxBatches = 3;

Catalogue& Sample() {
    static const std::unique_ptr<Catalogue> catalogue = [] {
        std::string error;
        auto opened = Catalogue::OpenSample(error);
        FuzzCheck(opened != nullptr, "the sample catalogue opens");
        return opened;
    }();
    return *catalogue;
}

QueryLimits FuzzLimits() {
    QueryLimits limits;
    // A cross join the fuzzer writes must end quickly; the timeout is a reply like any other.
    limits.Query = std::chrono::milliseconds(100);
    limits.Batch = std::chrono::milliseconds(50);
    limits.BatchRows = 16;
    return limits;
}

// A reply as the client reads it: it must decode and say what it is.
CList ClientReads(const std::string& wire, const char* operation) {
    CList reply;
    FuzzCheck(reply.Decode(wire) == 0, "every reply decodes in the client");
    FuzzCheck(reply.GetValue("OPERATION") == operation, "a reply keeps its operation");
    return reply;
}

void CheckError(const std::string& text) {
    CList reply = ClientReads(EncodeMessage({{"OPERATION", "ERROR"}, {"MESSAGE", text}}), "ERROR");
    FuzzCheck(reply.GetValue("MESSAGE") == BlankFraming(text), "an error text arrives whole");
}

void RunRequest(const CList& request) {
    static CpuGate gate(1);
    RequestPlan plan = PlanRequest(request);
    if (!plan.Error.empty()) {
        FuzzCheck(plan.Sql.empty(), "a refused request has no SQL");
        CheckError(plan.Error);
        return;
    }
    QueryTask task(Sample(), gate, std::move(plan.Sql), FuzzLimits());
    task.Run();
    if (task.Failed()) {
        CheckError(task.Error());
        return;
    }
    CMatrix table;
    FuzzCheck(table.AddFromMessage(ClientReads(task.TakeHeader(), "QUERYRESULT")) == 0,
              "the client takes the columns");
    for (int batch = 0; batch < MaxBatches; ++batch) {
        const std::string rows = task.TakeBatch();
        if (!rows.empty()) {
            FuzzCheck(table.AddFromMessage(ClientReads(rows, "QUERYITEM")) == 0,
                      "the client stores every batch");
        }
        if (task.Finished()) {
            const std::string done = EncodeMessage({{"OPERATION", "QUERYITEM"}, {"DONE", "TRUE"}});
            FuzzCheck(table.AddFromMessage(ClientReads(done, "QUERYITEM")) == 10,
                      "the last message ends the set");
            FuzzCheck(table.RowCount() == task.RowsSent(), "the client holds every row sent");
            return;
        }
        FuzzCheck(!rows.empty(), "a result that goes on has sent rows");
        task.Run();
        if (task.Failed()) {
            CheckError(task.Error());
            return;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte says where the stream is cut in two, as the network may cut it.
    const std::string_view stream = FuzzText(data + 1, size - 1);
    const size_t cut = std::min<size_t>(data[0], stream.size());
    MessageFramer framer;
    std::vector<std::string> texts;
    if (framer.Feed(stream.substr(0, cut), texts) == MessageFramer::Status::Ok) {
        framer.Feed(stream.substr(cut), texts);
    }
    for (size_t i = 0; i < texts.size() && i < MaxRequests; ++i) {
        const std::string& text = texts[i];
        FuzzCheck(!text.empty() && text.size() <= MessageFramer::MaxMessageBytes &&
                      text.back() == '\x02',
                  "the framer hands over whole messages");
        CList request;
        if (request.Decode(text) != 0) {
            return 0; // the session closes here
        }
        RunRequest(request);
    }
    return 0;
}
