// TLumraSession: the connection component of the engine access core. It holds
// the engine's connection handle, takes one reference on the driver's client
// library, counts the datasets that hold it open, runs the user transaction,
// records the last error and knows every statement linked to it so that it can
// release them before it disconnects. Every engine step is a virtual operation
// that a concrete driver overrides; the abstract ones are the session half of
// the driver contract.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LmrBase/LmrErrors.h"
#include "host/Classes.h"

class TLumraSQL;

class TLumraSession : public host::TComponent {
public:
    // Creates the empty statement list and sets the defaults: AutoCommit and
    // KeepConnection true, everything else off, empty or 0.
    explicit TLumraSession(host::TComponent* owner);

    // Releases what DestroySession has not released yet. A driver's destructor
    // must call DestroySession first: the connection and the library reference
    // can only be dropped while the driver's overrides are still reachable.
    ~TLumraSession() override;

    TLumraSession(const TLumraSession&) = delete;
    TLumraSession& operator=(const TLumraSession&) = delete;

    // After the inherited Loaded: opens the connection when the form file
    // stored Connected true. A failure is shown in a message box (caption
    // szLumraLibraryName, error icon) and swallowed in the designer, raised
    // again at run time.
    void Loaded() override;

    // --- Connection --------------------------------------------------------

    // True exactly when Handle is not null.
    bool Connected() const noexcept { return FHandle != nullptr; }
    // While reading a form file only remembers the value for Loaded;
    // otherwise Open for true, Close for false.
    void SetConnected(bool value);

    // Loads the library if needed and connects; nothing when already
    // connected. BeforeConnect/AfterConnect fire around InternalConnect.
    void Open();
    // Unprepares every linked statement, then disconnects (or detaches an
    // attached handle). Resets InTransaction and HoldCount. Nothing when not
    // connected; the disconnect events do not fire while destroying.
    void Close();
    // Open, then one more hold.
    void OpenSession();
    // One hold less (never below 0); closes at 0 when KeepConnection is false
    // and no user transaction is running (Commit or Rollback closes then).
    void CloseSession();

    bool KeepConnection() const noexcept { return FKeepConnection; }
    // Switching to false with no holds closes the connection at once.
    void SetKeepConnection(bool value);
    int32_t HoldCount() const noexcept { return FHoldCount; }

    void* Handle() const noexcept { return FHandle; }
    // Attaches a connection handle opened elsewhere (closing the current
    // connection first); null only detaches in the driver.
    void SetHandle(void* value);
    bool ExternalHandle() const noexcept { return FExternalHandle; }

    // --- Transactions -------------------------------------------------------

    // Raises "A user transaction is already in progress" (code 0) inside a
    // user transaction, and raises when not connected; otherwise commits
    // pending work and starts one.
    void StartTransaction();
    // Both run even when no user transaction is active. Without holds and
    // with KeepConnection false, the connection closes once they succeed.
    void Commit();
    void Rollback();
    bool InTransaction() const noexcept { return FInTransaction; }
    bool AutoCommit() const noexcept { return FAutoCommit; }
    void SetAutoCommit(bool value) noexcept { FAutoCommit = value; }

    // --- Library -------------------------------------------------------------

    bool LibraryLoaded() const noexcept { return FLibraryLoaded; }
    const std::string& LibraryName() const noexcept { return FLibraryName; }
    void SetLibraryName(const std::string& value) { FLibraryName = value; }
    // Product version of the client library as "major.minor.release.build";
    // "0.0.0.0" when the library carries no version resource.
    std::string GetLibraryVersion();

    const std::string& DatabaseName() const noexcept { return FDatabaseName; }
    void SetDatabaseName(const std::string& value) { FDatabaseName = value; }

    // --- Errors ----------------------------------------------------------------

    const std::string& LastError() const noexcept { return FLastError; }
    int32_t LastErrorCode() const noexcept { return FLastErrorCode; }
    // Records the error for drivers that report failure by returning false.
    void SetLastError(const std::string& msg, int32_t code) {
        FLastError = msg;
        FLastErrorCode = code;
    }
    // Records msg and code as the last error, then throws E(msg, code, 0).
    // E is ELumraException or a driver's subclass of it.
    template <class E = ELumraException>
    [[noreturn]] void RaiseLastError(const std::string& msg, int32_t code) {
        SetLastError(msg, code);
        throw E(msg, code, 0);
    }

    // --- Code pages ----------------------------------------------------------

    bool OemConvert() const noexcept { return FOemConvert; }
    void SetOemConvert(bool value) noexcept { FOemConvert = value; }
    // With OemConvert off does nothing at all (dest is not even copied from
    // source); otherwise converts length characters ANSI->OEM (toOem) or back.
    void TranslateChar(const char* source, char* dest, int32_t length, bool toOem);

    // --- Events --------------------------------------------------------------

    const host::TNotifyEvent& AfterConnect() const noexcept { return FAfterConnect; }
    void SetAfterConnect(host::TNotifyEvent value) { FAfterConnect = std::move(value); }
    const host::TNotifyEvent& BeforeConnect() const noexcept { return FBeforeConnect; }
    void SetBeforeConnect(host::TNotifyEvent value) { FBeforeConnect = std::move(value); }
    const host::TNotifyEvent& AfterDisconnect() const noexcept { return FAfterDisconnect; }
    void SetAfterDisconnect(host::TNotifyEvent value) { FAfterDisconnect = std::move(value); }
    const host::TNotifyEvent& BeforeDisconnect() const noexcept { return FBeforeDisconnect; }
    void SetBeforeDisconnect(host::TNotifyEvent value) { FBeforeDisconnect = std::move(value); }

    // --- Linked statements -----------------------------------------------------

    // Every statement whose Session is this session, in link order (not owned).
    const std::vector<TLumraSQL*>& Queries() const noexcept { return FQueries; }

#if LMR_HOST_GENERATION >= 4
    // Appends statement to Queries and points its session link here.
    void AddQuery(TLumraSQL* statement);
    // Clears the statement's session link and removes it from Queries.
    void RemoveQuery(TLumraSQL* statement);
#endif

    // --- Driver contract, in slot order ---------------------------------------
    // (The three driver operations the base never calls are left out.)

    // Number of sessions of this driver holding the client library: one count
    // per driver, shared by all its sessions.
    virtual int32_t GetLibraryRefCount() = 0;
    virtual void SetLibraryRefCount(int32_t value) = 0;
    // Directory of the library file, so that path + LibraryName names the file.
    virtual void GetLibraryPath(std::string& path) = 0;
    // Takes this session's single library reference; the first session of a
    // driver loads and initialises the library.
    virtual void InternalLibraryHandleNeeded();
    // Loads the client library; raises on failure.
    virtual void InternalLoadLibrary() = 0;
    // Unloads the client library once the shared count has dropped to 0.
    virtual void InternalFreeLibrary() = 0;
    // Binds the entry points and initialises the interface; raises on failure.
    virtual void InternalInitLibrary() = 0;
    virtual void SetLibraryLoaded(bool value);
    // Opens a connection and stores its non-null handle in handle; raises on failure.
    virtual void InternalConnect(void*& handle) = 0;
    // Closes the connection the session opened itself.
    virtual void InternalDisconnect() = 0;
    // Makes handle current in the driver; null detaches without disconnecting.
    virtual void InternalSetHandle(void* handle) = 0;
    // Driver-defined result check, reached through the statement's Check.
    virtual bool InternalCheck(void* data, int32_t value1, int32_t value2, bool flag) = 0;
    // Commits the connection's work; automatic is true for the statements'
    // automatic commit.
    virtual void InternalCommit(bool automatic) = 0;
    virtual void InternalRollback() = 0;
    // Direct execution of SQL text; the base returns 0 and never calls it.
    virtual int32_t Execute(const std::string& sql);
    // Driver-defined connection check; the base returns 0 and never calls it.
    virtual int32_t Ping(char* buffer);

protected:
    // Runs the destruction steps that need the driver's overrides: marks the
    // component destroying, closes without disconnect events, drops the
    // library reference (freeing the library with the last one) and unlinks
    // every statement. Every driver session's destructor calls it first; it
    // runs once, later calls do nothing.
    void DestroySession();

    // Settings and texts that belong to the driver; the base only initialises
    // them (A true, B false, texts empty, words 0).
    bool FDriverSettingA = true;
    bool FDriverSettingB = false;
    std::string FDriverText1;
    std::string FDriverText3;
    std::string FDriverText4;
    int32_t FDriverWords[4] = {0, 0, 0, 0};

private:
    // Closes when nothing needs the connection any more: no hold, no user
    // transaction, KeepConnection false.
    void CloseIfUnheld();
#if LMR_HOST_GENERATION < 4
    // Generation 3 keeps the statement list operations inside the unit.
    friend class TLumraSQL;
    LMR_GEN3_INTERNAL void AddQuery(TLumraSQL* statement);
    LMR_GEN3_INTERNAL void RemoveQuery(TLumraSQL* statement);
#endif
    void DoEvent(const host::TNotifyEvent& event);
    // Drops this session's library reference, freeing the library at 0.
    void ReleaseLibrary();
    void UnlinkQueries() noexcept;

    std::vector<TLumraSQL*> FQueries;
    bool FAutoCommit = true;
    bool FInTransaction = false;
    bool FKeepConnection = true;
    int32_t FHoldCount = 0;
    bool FExternalHandle = false;
    void* FHandle = nullptr;
    std::string FLibraryName;
    std::string FDatabaseName;
    bool FOemConvert = false;
    bool FStreamedConnected = false;
    std::string FLastError;
    int32_t FLastErrorCode = 0;
    host::TNotifyEvent FAfterConnect;
    host::TNotifyEvent FBeforeConnect;
    host::TNotifyEvent FAfterDisconnect;
    host::TNotifyEvent FBeforeDisconnect;
    bool FLibraryLoaded = false;
    bool FSessionDestroyed = false;
};
