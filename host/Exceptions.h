// The host framework's exception hierarchy. Every error LumraDB raises is a
// host::Exception, which is also a std::exception whose what() is the message.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace host {

class TComponent;

class Exception : public std::exception {
public:
    explicit Exception(std::string message, int32_t helpContext = 0)
        : FMessage(std::move(message)), FHelpContext(helpContext) {}
    ~Exception() override = default;

    const std::string& Message() const noexcept { return FMessage; }
    void SetMessage(std::string value) { FMessage = std::move(value); }
    int32_t HelpContext() const noexcept { return FHelpContext; }
    void SetHelpContext(int32_t value) noexcept { FHelpContext = value; }

    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    std::string FMessage;
    int32_t FHelpContext;
};

// Declares a class that adds nothing to its base but its identity.
#define HOST_DECLARE_EXCEPTION(Name, Base)                                                                   \
    class Name : public Base {                                                                               \
    public:                                                                                                  \
        using Base::Base;                                                                                    \
    };

HOST_DECLARE_EXCEPTION(EAbort, Exception)
HOST_DECLARE_EXCEPTION(EConvertError, Exception)
HOST_DECLARE_EXCEPTION(EAbstractError, Exception)
HOST_DECLARE_EXCEPTION(EInvalidCast, Exception)
HOST_DECLARE_EXCEPTION(EInvalidOperation, Exception)
HOST_DECLARE_EXCEPTION(EInvalidPointer, Exception)
HOST_DECLARE_EXCEPTION(EOutOfMemory, Exception)
HOST_DECLARE_EXCEPTION(ERangeError, Exception)
HOST_DECLARE_EXCEPTION(EIntOverflow, Exception)
HOST_DECLARE_EXCEPTION(EVariantError, Exception)
HOST_DECLARE_EXCEPTION(EListError, Exception)
HOST_DECLARE_EXCEPTION(EStringListError, Exception)
HOST_DECLARE_EXCEPTION(EComponentError, Exception)
HOST_DECLARE_EXCEPTION(EPropertyError, Exception)
HOST_DECLARE_EXCEPTION(EStreamError, Exception)
HOST_DECLARE_EXCEPTION(EFCreateError, EStreamError)
HOST_DECLARE_EXCEPTION(EFOpenError, EStreamError)
HOST_DECLARE_EXCEPTION(EFilerError, EStreamError)
HOST_DECLARE_EXCEPTION(EReadError, EFilerError)
HOST_DECLARE_EXCEPTION(EWriteError, EFilerError)
HOST_DECLARE_EXCEPTION(EClassNotFound, EFilerError)
HOST_DECLARE_EXCEPTION(EInOutError, Exception)
HOST_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
HOST_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception)
HOST_DECLARE_EXCEPTION(EDatabaseError, Exception)

#undef HOST_DECLARE_EXCEPTION

// Raised by a provider when applying an update fails: carries the context
// (the component that failed), the engine's error code and the error that
// occurred before it, if any.
class EUpdateError : public EDatabaseError {
public:
    EUpdateError(std::string message, std::string context, int32_t errorCode, int32_t previousError,
                 std::exception_ptr originalException = nullptr)
        : EDatabaseError(std::move(message)), FContext(std::move(context)), FErrorCode(errorCode),
          FPreviousError(previousError), FOriginalException(std::move(originalException)) {}

    const std::string& Context() const noexcept { return FContext; }
    int32_t ErrorCode() const noexcept { return FErrorCode; }
    int32_t PreviousError() const noexcept { return FPreviousError; }
    const std::exception_ptr& OriginalException() const noexcept { return FOriginalException; }

private:
    std::string FContext;
    int32_t FErrorCode;
    int32_t FPreviousError;
    std::exception_ptr FOriginalException;
};

// Raised by host::Variant when a value cannot be converted to the requested
// type / does not fit it; both are conversion errors.
class EVariantTypeCastError : public EConvertError {
public:
    using EConvertError::EConvertError;
};
class EVariantOverflowError : public EConvertError {
public:
    using EConvertError::EConvertError;
};

// Raises EAbort, the silent exception that unwinds without an error message.
[[noreturn]] void Abort();

// Raises EDatabaseError. With a named component the message reads
// "<Name>: <Message>", as the host framework does.
[[noreturn]] void DatabaseError(const std::string& message, const TComponent* component = nullptr);

} // namespace host
