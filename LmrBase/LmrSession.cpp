// The session's connection, library-reference, transaction and destruction
// logic. Engine work happens only in the driver's overrides.
#include "LmrBase/LmrSession.h"

#include <algorithm>
#include <exception>
#include <mutex>

#include "LmrBase/LmrSQL.h"
#include "LmrUtil/LmrUtil.h"
#include "host/SysUtils.h"
#include "host/Windows.h"

namespace {

// The library count is shared by every session of a driver, and sessions may
// live on different threads: taking or giving back a reference (and loading or
// freeing the library with it) is one step for all of them. Recursive, since a
// driver's load may reach a session operation that asks again.
std::recursive_mutex& LibraryLock() {
    static std::recursive_mutex lock;
    return lock;
}

} // namespace

TLumraSession::TLumraSession(host::TComponent* owner) : host::TComponent(owner) {}

TLumraSession::~TLumraSession() {
    // Normally DestroySession already ran from the driver's destructor. When it
    // did not, the driver's overrides are gone and the engine connection cannot
    // be closed here; still, no statement may keep pointing at this session.
    if (!FSessionDestroyed) {
        for (TLumraSQL* query : std::vector<TLumraSQL*>(FQueries)) {
            if (std::find(FQueries.begin(), FQueries.end(), query) == FQueries.end()) continue;
            try {
                query->UnprepareOpen();
                query->UnprepareExecute();
            } catch (...) {
                // A destructor cannot report; the statement is unlinked below anyway.
            }
        }
        UnlinkQueries();
    }
}

void TLumraSession::DestroySession() {
    if (FSessionDestroyed) return;
    FSessionDestroyed = true;
    Destroying();
    // Destruction cannot report a failing disconnect or library release;
    // whatever happens, the statements must not keep a dangling link.
    try {
        Close();
    } catch (...) {
    }
    // A Close that raised (a statement's close handler, say) may have left
    // statements prepared and the connection open; both must go before the
    // library does, or an engine handle would outlive it.
    if (FHandle != nullptr) {
        for (TLumraSQL* query : std::vector<TLumraSQL*>(FQueries)) {
            if (std::find(FQueries.begin(), FQueries.end(), query) == FQueries.end()) continue;
            try {
                query->UnprepareOpen();
            } catch (...) {
            }
            try {
                query->UnprepareExecute();
            } catch (...) {
            }
        }
        try {
            if (FExternalHandle)
                InternalSetHandle(nullptr);
            else
                InternalDisconnect();
        } catch (...) {
        }
        FExternalHandle = false;
        FInTransaction = false;
        FHandle = nullptr;
        FHoldCount = 0;
    }
    try {
        ReleaseLibrary();
    } catch (...) {
    }
    UnlinkQueries();
}

void TLumraSession::Loaded() {
    host::TComponent::Loaded();
    if (!FStreamedConnected) return;
    try {
        Open();
    } catch (const std::exception& e) {
        if (!ComponentState().Contains(host::csDesigning)) throw;
        // In the designer a broken stored connection must not stop the form from loading.
        host::MessageBoxA(nullptr, e.what(), szLumraLibraryName, host::MB_ICONERROR);
    }
}

void TLumraSession::SetConnected(bool value) {
    if (ComponentState().Contains(host::csReading)) {
        FStreamedConnected = value;
        return;
    }
    if (value)
        Open();
    else
        Close();
}

void TLumraSession::Open() {
    if (FHandle != nullptr) return;
    InternalLibraryHandleNeeded();
    DoEvent(FBeforeConnect);
    InternalSetHandle(nullptr);
    // The handle becomes the session's only once the driver connected without
    // raising, so a failed connect always leaves the session disconnected.
    void* handle = nullptr;
    InternalConnect(handle);
    FHandle = handle;
    DoEvent(FAfterConnect);
    FInTransaction = false;
}

void TLumraSession::Close() {
    if (FHandle == nullptr) return;
    // A statement's close notification may make its dataset release the
    // session, which can close it from inside this loop; walk a snapshot and
    // skip statements that left meanwhile.
    for (TLumraSQL* query : std::vector<TLumraSQL*>(FQueries)) {
        if (std::find(FQueries.begin(), FQueries.end(), query) == FQueries.end()) continue;
        query->UnprepareOpen();
        query->UnprepareExecute();
    }
    // A nested Close already disconnected: disconnecting twice would hand the
    // driver a connection that no longer exists.
    if (FHandle == nullptr) return;
    const bool destroying = ComponentState().Contains(host::csDestroying);
    if (!destroying) DoEvent(FBeforeDisconnect);
    if (FExternalHandle) {
        // An attached connection belongs to whoever opened it: only detach.
        InternalSetHandle(nullptr);
        FExternalHandle = false;
    } else {
        InternalDisconnect();
    }
    FInTransaction = false;
    FHandle = nullptr;
    FHoldCount = 0;
    if (!destroying) DoEvent(FAfterDisconnect);
}

void TLumraSession::OpenSession() {
    Open();
    ++FHoldCount;
}

void TLumraSession::CloseSession() {
    if (FHoldCount > 0) --FHoldCount;
    CloseIfUnheld();
}

void TLumraSession::CloseIfUnheld() {
    // Closing the connection gives up the engine transaction: a user
    // transaction keeps it until Commit or Rollback ends it.
    if (FHoldCount == 0 && !FKeepConnection && !FInTransaction) Close();
}

void TLumraSession::SetKeepConnection(bool value) {
    if (value == FKeepConnection) return;
    FKeepConnection = value;
    if (!value) CloseIfUnheld();
}

void TLumraSession::SetHandle(void* value) {
    if (Connected()) Close();
    if (value == nullptr) {
        InternalSetHandle(nullptr);
        return;
    }
    InternalLibraryHandleNeeded();
    DoEvent(FBeforeConnect);
    InternalSetHandle(value);
    FHandle = value;
    FExternalHandle = true;
    DoEvent(FAfterConnect);
}

void TLumraSession::StartTransaction() {
    if (FInTransaction) RaiseLastError(host::LoadResString(LUMRA_ERR_SESS_TRANS_ACTIVE), 0);
    // Connecting forgets any transaction, so one started now would end
    // unseen and its work would commit statement by statement.
    if (FHandle == nullptr)
        RaiseLastError("Not connected to a database: a user transaction can only start on an open connection",
                       0);
    // The driver contract has no separate start: committing opens a fresh unit of work.
    InternalCommit(false);
    FInTransaction = true;
}

void TLumraSession::Commit() {
    InternalCommit(false);
    FInTransaction = false;
    CloseIfUnheld();
}

void TLumraSession::Rollback() {
    InternalRollback();
    FInTransaction = false;
    CloseIfUnheld();
}

std::string TLumraSession::GetLibraryVersion() {
    InternalLibraryHandleNeeded();
    std::string path;
    GetLibraryPath(path);
    // LmrGetProductVersion leaves the parts alone when it cannot read them.
    uint16_t major = 0, minor = 0, release = 0, build = 0;
    LmrGetProductVersion(path + FLibraryName, major, minor, release, build);
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(release) + "." +
           std::to_string(build);
}

void TLumraSession::TranslateChar(const char* source, char* dest, int32_t length, bool toOem) {
    if (!FOemConvert || length <= 0) return;
    if (toOem)
        host::CharToOemBuffA(source, dest, static_cast<uint32_t>(length));
    else
        host::OemToCharBuffA(source, dest, static_cast<uint32_t>(length));
}

void TLumraSession::AddQuery(TLumraSQL* statement) {
    if (statement == nullptr) return;
    // A statement lives in one session's list only; leaving the old list here
    // keeps that list from pointing at a statement it no longer owns the link
    // of. What it prepared on the old connection is released first: it must
    // never run there again, nor outlive that connection's library.
    if (statement->FSession != nullptr && statement->FSession != this) statement->ReleaseEngineStatements();
    if (statement->FSession != nullptr) statement->FSession->RemoveQuery(statement);
    FQueries.push_back(statement);
    statement->FSession = this;
}

void TLumraSession::RemoveQuery(TLumraSQL* statement) {
    if (statement == nullptr) return;
    if (statement->FSession == this) statement->FSession = nullptr;
    auto it = std::find(FQueries.begin(), FQueries.end(), statement);
    if (it != FQueries.end()) FQueries.erase(it);
}

void TLumraSession::InternalLibraryHandleNeeded() {
    if (FLibraryLoaded) return;
    const std::lock_guard<std::recursive_mutex> hold(LibraryLock());
    if (GetLibraryRefCount() == 0) {
        InternalLoadLibrary();
        try {
            InternalInitLibrary();
        } catch (...) {
            // Nothing is counted yet, so nobody else would ever free it.
            InternalFreeLibrary();
            throw;
        }
    }
    SetLibraryRefCount(GetLibraryRefCount() + 1);
    SetLibraryLoaded(true);
}

void TLumraSession::SetLibraryLoaded(bool value) {
    FLibraryLoaded = value;
}

int32_t TLumraSession::Execute(const std::string&) {
    return 0;
}

int32_t TLumraSession::Ping(char*) {
    return 0;
}

void TLumraSession::DoEvent(const host::TNotifyEvent& event) {
    if (event) event(this);
}

void TLumraSession::ReleaseLibrary() {
    // Only a session that took a reference may give one back; otherwise the
    // shared count would go wrong for every other session of the driver.
    if (!FLibraryLoaded) return;
    const std::lock_guard<std::recursive_mutex> hold(LibraryLock());
    SetLibraryLoaded(false);
    const int32_t count = GetLibraryRefCount() - 1;
    SetLibraryRefCount(count);
    if (count == 0) InternalFreeLibrary();
}

void TLumraSession::UnlinkQueries() noexcept {
    while (!FQueries.empty())
        RemoveQuery(FQueries.back());
}
