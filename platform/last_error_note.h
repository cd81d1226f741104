// A few words a failure adds to the system's text for its code, where that text cannot say
// what happened to the user's files (a failed replacement names where it left each one). One
// note per thread, shown only with the code it was left for, so a later error of another kind
// never carries it.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace platform {

struct ErrorNote {
    DWORD code = 0;
    std::string text;
};

inline ErrorNote& ThreadErrorNote() {
    static thread_local ErrorNote note;
    return note;
}

inline void SetLastErrorNote(DWORD code, std::string text) {
    ThreadErrorNote() = {code, std::move(text)};
}

// The note left for code on this thread, or "".
inline std::string LastErrorNote(DWORD code) {
    const ErrorNote& note = ThreadErrorNote();
    return code && note.code == code ? note.text : std::string();
}

}  // namespace platform
