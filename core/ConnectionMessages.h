#pragma once
// What a reader is told when a connection attempt fails, and the bounds of one attempt. Every
// text keeps the line the program has always shown first and adds, on a second line, what it
// means and how to try again. All text is Windows-1252.

#include <cstdint>
#include <string>

#include "core/Settings.h"

// A server that keeps redirecting gets this many new connections per attempt, no more.
inline constexpr int MaxRedirects = 5;
// How every explained failure ends: the way to try again without restarting.
inline constexpr const char* RetryHint = "Per riprovare: Impostazioni, Riconnetti (F5).";

// "Errore numero N durante la connessione." and its explanation on a second line.
std::string SocketErrorMessage(int code);
// The second line alone: what the number means, what to do, and the retry hint.
std::string SocketErrorExplanation(int code);
// A server that redirected more than MaxRedirects times in one attempt.
std::string TooManyRedirectsMessage();

// Whether the address, port and service of the settings are exactly these: only those three
// decide where the program connects.
bool SameEndpoint(const TRegistryInfo& settings, const std::string& address, uint32_t port,
                  const std::string& service);

// The redirects of one connection attempt: Take() counts one more and says whether it may
// still be followed.
class RedirectCounter {
public:
    void Reset() { count = 0; }
    bool Take() { return ++count <= MaxRedirects; }
    int Count() const { return count; }

private:
    int count = 0;
};
