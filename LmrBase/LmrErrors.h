// Errors of the engine access core (unit LmrBase): the exception class, the
// package's identity constants, the core's message catalogue and the binding
// of client-library entry points with fallbacks for missing ones.
#pragma once

#include "host/Exceptions.h"
#include "host/ResourceStrings.h"

#include <cstdint>
#include <string>
#include <type_traits>

// ---- Exception ---------------------------------------------------------------

// The exception of the engine access core. ErrorCode is the engine's code for
// the message, or 0 for an error the system detected itself.
class ELumraException : public host::Exception {
public:
    // Msg is taken as is (no formatting); the third argument is accepted for
    // the callers' sake and not stored.
    ELumraException(const std::string& Msg, int32_t AErrorCode, int32_t Reserved);

    int32_t ErrorCode() const noexcept { return FErrorCode; }

private:
    int32_t FErrorCode;
};

// ---- Identity constants --------------------------------------------------------

extern const char szLumraDBVersion[];        // "1.88a"
extern const char szLumraLibraryName[];      // "LumraDB", caption of design-time message boxes
extern const char szLumraLibraryShortName[]; // "LMR"

// ---- Message catalogue -------------------------------------------------------
// Load a text with host::LoadResString at the moment of use; fill the "%s" of
// the two placeholder messages with host::Format.

extern const host::TResStringRec LUMRA_ERR_LIB_PATH_NOT_FOUND;
extern const host::TResStringRec LUMRA_ERR_LIB_LOAD_FAILED;
extern const host::TResStringRec LUMRA_ERR_LIB_INIT_FAILED;
extern const host::TResStringRec LUMRA_ERR_LIB_WRONG;
extern const host::TResStringRec LUMRA_ERR_SESS_NIL;
extern const host::TResStringRec LUMRA_ERR_SESS_TRANS_ACTIVE;
extern const host::TResStringRec LUMRA_ERR_SESS_CONNECTED;
extern const host::TResStringRec LUMRA_ERR_SESS_INVALID_HANDLE;
extern const host::TResStringRec LUMRA_ERR_STMT_NOT_PREPARED;
extern const host::TResStringRec LUMRA_ERR_CURS_NOT_QUERY;
extern const host::TResStringRec LUMRA_ERR_CURS_IS_QUERY;
extern const host::TResStringRec LUMRA_ERR_CURS_BI_NOT_SUPP;
extern const host::TResStringRec LUMRA_ERR_CURS_NOT_PREPARED;
extern const host::TResStringRec LUMRA_ERR_CURS_NOT_OPENED;
extern const host::TResStringRec LUMRA_ERR_CURS_READ_ONLY;
extern const host::TResStringRec LUMRA_ERR_CURS_MISSING_ROWID;
extern const host::TResStringRec LUMRA_ERR_FIELD_NOT_FOUND; // placeholder: the field's name or number
extern const host::TResStringRec LUMRA_ERR_PARAM_NOT_FOUND; // placeholder: the host variable's name
extern const host::TResStringRec LUMRA_ERR_BLOB_REQUIRED;   // placeholder: the field's name
extern const host::TResStringRec LUMRA_ERR_BLOB_STREAM_INVALID;
extern const host::TResStringRec LUMRA_ERR_BLOB_PICTURE_INVALID;
extern const host::TResStringRec LUMRA_TXT_FALSE;
extern const host::TResStringRec LUMRA_TXT_TRUE;

// ---- Entry-point binding -------------------------------------------------------
//
// A driver keeps one typed function pointer per client-library entry point and
// binds each right after looking it up by name:
//
//     LmrAssignProcAddress(FApi.prepare, dlsym(lib, "prepare"), LmrDummyProc);
//     LmrAssignProcAddress(FApi.trace,   dlsym(lib, "trace"),   LmrDummyProcNoExcept);
//
// The fallbacks are templates with the destination's own type, so a missing
// entry point is called through a pointer of the right type: either spelling
// LmrDummyProc<int(void*, const char*)> or plain LmrDummyProc (deduced from
// the destination) names the fallback for int(void*, const char*).

// This formatter version mangles requires-clauses; the templates below keep
// their hand layout.
// clang-format off
// Stores Found, cast to the destination's type, into Dest when it is not
// null, otherwise Fallback. Found is what dlsym returned for the entry point.
template <class Fn>
    requires std::is_function_v<Fn>
void LmrAssignProcAddress(Fn*& Dest, void* Found, Fn* Fallback) noexcept {
    Dest = Found != nullptr ? reinterpret_cast<Fn*>(Found) : Fallback;
}

// The fallback for an entry point whose absence must be reported when it is
// first called: raises ELumraException with the text of LUMRA_ERR_LIB_WRONG
// and ErrorCode 0.
[[noreturn]] void LmrDummyProc();

// The fallback for an optional entry point: does nothing and returns 0.
int32_t LmrDummyProcNoExcept();

namespace LmrDetail {
template <class Sig>
struct TSignature {};
template <class R, class... Args>
struct TSignature<R(Args...)> {
    using Result = R;
};
template <class Sig, class... Args>
concept CSignatureTakes =
    std::is_function_v<Sig> && std::is_same_v<Sig, typename TSignature<Sig>::Result(Args...)>;
} // namespace LmrDetail

// LmrDummyProc<R, Args...>: the raising fallback for R(Args...), found by
// deduction when plain LmrDummyProc is given for a destination of that type.
template <class R, class... Args>
    requires(!std::is_function_v<R>)
[[noreturn]] R LmrDummyProc(Args...) {
    LmrDummyProc();
}

// LmrDummyProc<R(Args...)>: the same fallback named by its signature.
template <class Sig, class... Args>
    requires LmrDetail::CSignatureTakes<Sig, Args...>
[[noreturn]] typename LmrDetail::TSignature<Sig>::Result LmrDummyProc(Args...) {
    LmrDummyProc();
}

// LmrDummyProcNoExcept<R, Args...>: the silent fallback for R(Args...);
// returns a value-initialised R (0, 0.0, nullptr).
template <class R, class... Args>
    requires(!std::is_function_v<R>)
R LmrDummyProcNoExcept(Args...) {
    if constexpr (std::is_void_v<R>)
        return;
    else
        return R{};
}

// LmrDummyProcNoExcept<R(Args...)>: the same fallback named by its signature.
template <class Sig, class... Args>
    requires LmrDetail::CSignatureTakes<Sig, Args...>
typename LmrDetail::TSignature<Sig>::Result LmrDummyProcNoExcept(Args...) {
    using R = typename LmrDetail::TSignature<Sig>::Result;
    if constexpr (std::is_void_v<R>)
        return;
    else
        return R{};
}
// clang-format on
