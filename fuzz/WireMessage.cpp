// The client's message decoder and encoder: whatever the bytes, a rejected text leaves the list
// as it was, and an accepted one encodes to a text that decodes to the very same pairs, with
// every name found as a walk from the head finds it.

#include <map>
#include <string>

#include "core/CList.h"
#include "fuzz/FuzzCheck.h"

namespace {

// The first value of each name, walking from the head.
std::map<std::string, std::string> FirstValues(const CList& list) {
    std::map<std::string, std::string> first;
    for (const RList* node = list.Head(); node != nullptr; node = node->Next) {
        first.try_emplace(std::string(node->Name), std::string(node->Value));
    }
    return first;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CList message;
    message.AddValue("OPERATION", "KNOCK");
    const std::string before = message.Encode();
    if (message.Decode(FuzzText(data, size)) != 0) {
        FuzzCheck(message.Encode() == before, "a rejected text leaves the message unchanged");
        return 0;
    }
    FuzzCheck(!message.Empty(), "an accepted text holds a pair");
    const std::string wire = message.Encode();
    FuzzCheck(!wire.empty() && wire.back() == '\x02', "an encoded message ends with 0x02");

    const std::map<std::string, std::string> first = FirstValues(message);
    for (const auto& [name, value] : first) {
        FuzzCheck(message.FindNode(name) != nullptr, "every name is found");
        FuzzCheck(message.GetValue(name) == value, "a name finds its first pair");
    }

    CList again;
    FuzzCheck(again.Decode(wire) == 0, "an encoded message decodes");
    FuzzCheck(again.Encode() == wire, "decoding an encoded message keeps every pair in order");
    FuzzCheck(FirstValues(again) == first, "the decoded copy finds the same values");
    return 0;
}
