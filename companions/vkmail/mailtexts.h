// What the mail filter writes to its log, its alerts and its notifications,
// in the five languages.
#pragma once

#include "common/texts.h"

namespace corvatek::companion {

enum class MailText {
    // The log.
    Summary, // stores, new messages, stores with new mail, scanned, infected, blocked, not scanned
    ThroughService,
    WithSignatures, // folder
    Found, // signature, sender, date, subject, store
    Blocked, // sender, subject, store
    MovedTo, // folder
    LeftInMailbox,
    NotMoved, // message, folder, why
    NoLongerThere,
    More, // count
    WaitingForEngine, // why
    EngineLost,
    StoppedAfter, // seconds
    NotWritten, // file, why
    NotATable,
    Unreadable, // file, why
    PositionsDamaged, // file
    PassedOver, // store, times
    Recorded, // count
    // alertes.xml's action.
    AlertMoved, // signature, sender, subject
    AlertKept,
    // Notifications.
    FoundNotice, // signature, sender, subject
    FoundSeveralNotice, // count, senders
    // Stand-ins.
    UnknownSender,
    NoSubject,
    NoDate,
};

std::string_view pattern(Language language, MailText text);

} // namespace corvatek::companion
