#pragma once

#include "net/Http.h"

#include <ostream>

// Names for the outcome kinds of net/, so a failing expectation reads "NoResponse", not a byte.

inline void PrintTo(HttpResult::Outcome outcome, std::ostream* os)
{
    using Outcome = HttpResult::Outcome;
    switch (outcome) {
    case Outcome::Ok: *os << "Ok"; return;
    case Outcome::NoClient: *os << "NoClient"; return;
    case Outcome::NoResponse: *os << "NoResponse"; return;
    case Outcome::BrokenOff: *os << "BrokenOff"; return;
    case Outcome::HttpError: *os << "HttpError"; return;
    case Outcome::TooLarge: *os << "TooLarge"; return;
    }
}
