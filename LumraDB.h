// LumraDB in one include: the host types (Variant, dates, strings, fields,
// data sources), the engine access core (session, statement), the dataset
// layer (parameters, query datasets, stored procedures) and the SQLite
// driver's classes (TSqliteSession, TSqliteSQL, TSqliteQuery).
//
// Every error the library raises is a host::Exception (itself a
// std::exception whose what() is the message), so one handler catches them
// all; LmrErrorCode gives the engine's code of the error it caught.
#pragma once

#include <cstdint>
#include <exception>

#include "LmrBasDS/LmrBasDS.h"
#include "LmrBase/LmrBase.h"
#include "LmrUtil/LmrUtil.h"
#include "drivers/sqlite/SqliteDataset.h"
#include "drivers/sqlite/SqliteSession.h"
#include "drivers/sqlite/SqliteStatement.h"
#include "host/DataLinks.h"
#include "host/DataSet.h"
#include "host/DateTime.h"
#include "host/Exceptions.h"
#include "host/Fields.h"
#include "host/Strings.h"
#include "host/Variant.h"

// The code an error carries: the engine's code, negated for SQLite's
// extended result codes (a unique-constraint violation is -2067), for
// ELumraException, ELumraDatasetError and host::EUpdateError; 0 for an error
// the library detected itself and for every other exception.
inline int32_t LmrErrorCode(const std::exception& error) noexcept {
    if (const auto* core = dynamic_cast<const ELumraException*>(&error)) return core->ErrorCode();
    if (const auto* dataset = dynamic_cast<const ELumraDatasetError*>(&error)) return dataset->ErrorCode();
    if (const auto* update = dynamic_cast<const host::EUpdateError*>(&error)) return update->ErrorCode();
    return 0;
}
