#include "core/ConnectionMessages.h"

namespace {
// The reader hears the number first; this says what it means and what to check.
const char* Meaning(int code) {
    switch (code) {
    case 10061:
        return "Il server ha rifiutato la connessione: non \xE8 in funzione oppure la porta "
               "nelle impostazioni \xE8 sbagliata.";
    case 10060:
        return "Il server non ha risposto in tempo: pu\xF2 essere spento, sovraccarico o non "
               "raggiungibile.";
    case 11001:
        return "Il nome del server non \xE8 conosciuto: controllare l'indirizzo nelle "
               "impostazioni.";
    case 10065:
        return "Il server non \xE8 raggiungibile: controllare il collegamento alla rete.";
    case 10049:
        return "L'indirizzo, la porta o il servizio nelle impostazioni non sono validi: "
               "correggerli con Impostazioni, Modifica...";
    case 10013:
        return "Il sistema non permette a questo programma di collegarsi alla rete.";
    default:
        return "Il collegamento con il server non \xE8 riuscito o si \xE8 interrotto.";
    }
}
} // namespace

std::string SocketErrorExplanation(int code) {
    return std::string(Meaning(code)) + " " + RetryHint;
}

std::string SocketErrorMessage(int code) {
    return "Errore numero " + std::to_string(code) + " durante la connessione.\r\n" +
           SocketErrorExplanation(code);
}

std::string TooManyRedirectsMessage() {
    return std::string("Troppi reindirizzamenti del server.\r\nIl server rimanda la connessione "
                       "da un indirizzo all'altro senza mai accettarla. ") +
           RetryHint;
}

bool SameEndpoint(const TRegistryInfo& settings, const std::string& address, uint32_t port,
                  const std::string& service) {
    return settings.Address == address && settings.RemotePort == port &&
           settings.Service == service;
}
