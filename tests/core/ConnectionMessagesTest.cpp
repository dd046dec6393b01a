#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/ConnectionMessages.h"

namespace {
bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
} // namespace

TEST(ConnectionMessages, EverySocketErrorKeepsItsLineAndExplainsItOnASecondOne) {
    std::set<std::string> explanations;
    for (int code : {10061, 10060, 11001, 10065, 10049, 10013, 10050, 10053, 0}) {
        SCOPED_TRACE(code);
        const std::string text = SocketErrorMessage(code);
        const std::string first =
            "Errore numero " + std::to_string(code) + " durante la connessione.";
        ASSERT_EQ(text.rfind(first + "\r\n", 0), 0u);
        const std::string second = text.substr(first.size() + 2);
        EXPECT_EQ(second, SocketErrorExplanation(code));
        // One line more, no more: a screen reader reads it as one sentence after the number.
        EXPECT_EQ(second.find('\n'), std::string::npos);
        EXPECT_EQ(second.find('\r'), std::string::npos);
        EXPECT_TRUE(EndsWith(second, " Per riprovare: Impostazioni, Riconnetti (F5)."));
        EXPECT_GT(second.size(), std::string(RetryHint).size() + 20);
        explanations.insert(second);
    }
    // The six named numbers each say something of their own; the rest share one text.
    EXPECT_EQ(explanations.size(), 7u);
    EXPECT_EQ(SocketErrorExplanation(10053), SocketErrorExplanation(10050));
    EXPECT_NE(SocketErrorExplanation(10061).find("porta"), std::string::npos);
    EXPECT_NE(SocketErrorExplanation(10060).find("tempo"), std::string::npos);
    EXPECT_NE(SocketErrorExplanation(11001).find("nome"), std::string::npos);
    EXPECT_NE(SocketErrorExplanation(10065).find("rete"), std::string::npos);
    EXPECT_NE(SocketErrorExplanation(10049).find("impostazioni"), std::string::npos);
}

TEST(ConnectionMessages, TooManyRedirectsIsItalianAndShowsTheWayBack) {
    const std::string text = TooManyRedirectsMessage();
    EXPECT_EQ(text.rfind("Troppi reindirizzamenti", 0), 0u);
    EXPECT_TRUE(EndsWith(text, RetryHint));
}

TEST(ConnectionMessages, OnlyAddressPortAndServiceMakeAnEndpoint) {
    TRegistryInfo settings = DefaultSettings();
    settings.Address = "10.0.0.1";
    settings.RemotePort = 10241;
    settings.Service = "";
    EXPECT_TRUE(SameEndpoint(settings, "10.0.0.1", 10241, ""));
    EXPECT_FALSE(SameEndpoint(settings, "10.0.0.2", 10241, ""));
    EXPECT_FALSE(SameEndpoint(settings, "10.0.0.1", 10242, ""));
    EXPECT_FALSE(SameEndpoint(settings, "10.0.0.1", 10241, "orvo"));
    settings.BlindFriendly = !settings.BlindFriendly;
    settings.UserId = "altro";
    EXPECT_TRUE(SameEndpoint(settings, "10.0.0.1", 10241, ""));
}
