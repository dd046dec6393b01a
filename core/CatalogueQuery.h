#pragma once
// The catalogue query texts of the search windows, and the rules that decide whether the user's
// search criteria are enough to run a works search. Display-free: the windows only collect the
// entries and hand them here.

#include <chrono>
#include <string>
#include <vector>

// The entries of the search dialog, as the user left them.
struct SearchEntries {
    std::string Title; // trimmed edit texts
    std::string Author;
    std::string Publisher;
    std::string Genre; // list texts
    std::string Year;
    std::string RecordingType;
    int QuarterIndex = 0; // 0 none, 1 to 4 "primo" to "quarto"
};

// The criteria a confirmed search sends.
struct SearchCriteria {
    std::string TitlePattern;
    std::string AuthorPattern;
    std::string PublisherPattern;
    std::string Genre;
    std::string Year;
    std::string RecordingType;
    std::string PeriodStart; // "0YYYYMMDD" or empty
    std::string PeriodEnd;
};

struct CriteriaOutcome {
    SearchCriteria Criteria;
    bool Sufficient = false;
};

// Turns the entries into criteria: patterns of 3 or more significant characters are wrapped in
// "*", a year with a quarter becomes period bounds, and the sufficiency rules decide.
CriteriaOutcome EvaluateCriteria(const SearchEntries& entries);

// Month-day parts of a quarter (index 1 to 4): start "0101", end "0331" and so on; empty
// strings for any other index.
std::string QuarterStart(int index);
std::string QuarterEnd(int index);

struct QueryTexts {
    std::string Select;
    std::string From;
    std::string Where;
    std::string OrderBy;
};

QueryTexts WorksQuery(const SearchCriteria& criteria);
QueryTexts GenresQuery();
// The centres holding one catalogue item; catalogueId is inserted as stored.
QueryTexts CentresOfWorkQuery(const std::string& catalogueId);
QueryTexts AllCentresQuery();

// The search dialog's year list after its empty item: the current year down to 1960.
std::vector<std::string> YearItems(const std::chrono::year_month_day& today);

// The period coupling of the search dialog: quarter and year either both chosen or both empty.
// Indexes are list item indexes (0 the empty item). Each returns the index the other list must
// take, or -1 to leave it as it is.
int YearForQuarter(int quarterIndex, int yearIndex, unsigned month);
int QuarterForYear(int yearIndex, int quarterIndex);
