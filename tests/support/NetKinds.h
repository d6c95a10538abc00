#pragma once

#include "net/AddressResolution.h"
#include "net/Http.h"
#include "net/WebLookups.h"

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

inline void PrintTo(AddressLookup::Kind kind, std::ostream* os)
{
    using Kind = AddressLookup::Kind;
    switch (kind) {
    case Kind::Address: *os << "Address"; return;
    case Kind::InvalidDomain: *os << "InvalidDomain"; return;
    case Kind::WrongDomain: *os << "WrongDomain"; return;
    }
}

inline void PrintTo(ProbeOutput::Kind kind, std::ostream* os)
{
    using Kind = ProbeOutput::Kind;
    switch (kind) {
    case Kind::Answered: *os << "Answered"; return;
    case Kind::ServerTimedOut: *os << "ServerTimedOut"; return;
    case Kind::WaitExpired: *os << "WaitExpired"; return;
    case Kind::Ended: *os << "Ended"; return;
    case Kind::NotStarted: *os << "NotStarted"; return;
    }
}

inline void PrintTo(Resolution::Kind kind, std::ostream* os)
{
    using Kind = Resolution::Kind;
    switch (kind) {
    case Kind::LookedUp: *os << "LookedUp"; return;
    case Kind::Probed: *os << "Probed"; return;
    case Kind::ProbeTimedOut: *os << "ProbeTimedOut"; return;
    case Kind::NoAddress: *os << "NoAddress"; return;
    }
}
