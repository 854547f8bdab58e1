// The core's exception class, identity constants, message texts and the
// parameterless entry-point fallbacks.
#include "LmrBase/LmrErrors.h"

ELumraException::ELumraException(const std::string& Msg, int32_t AErrorCode, int32_t /*Reserved*/)
    : host::Exception(Msg), FErrorCode(AErrorCode) {}

const char szLumraDBVersion[] = "1.88a";
const char szLumraLibraryName[] = "LumraDB";
const char szLumraLibraryShortName[] = "LMR";

#define LMR_RESOURCESTRING(Name, Text) const host::TResStringRec Name = {#Name, Text};

LMR_RESOURCESTRING(LUMRA_ERR_LIB_PATH_NOT_FOUND, "Could not find database library path")
LMR_RESOURCESTRING(LUMRA_ERR_LIB_LOAD_FAILED, "Could not load the Database Interface library")
LMR_RESOURCESTRING(LUMRA_ERR_LIB_INIT_FAILED, "Unable to initialize database interface")
LMR_RESOURCESTRING(LUMRA_ERR_LIB_WRONG,
                   "Function not supported by this version of the Database Interface library")
LMR_RESOURCESTRING(LUMRA_ERR_SESS_NIL, "The session property is not linked to a session")
LMR_RESOURCESTRING(LUMRA_ERR_SESS_TRANS_ACTIVE, "A user transaction is already in progress")
LMR_RESOURCESTRING(LUMRA_ERR_SESS_CONNECTED, "Not allowed while connected to a database")
LMR_RESOURCESTRING(LUMRA_ERR_SESS_INVALID_HANDLE, "Invalid database handle")
LMR_RESOURCESTRING(LUMRA_ERR_STMT_NOT_PREPARED, "The statement is not prepared")
LMR_RESOURCESTRING(LUMRA_ERR_CURS_NOT_QUERY, "The statement doesn't return a result-set")
LMR_RESOURCESTRING(LUMRA_ERR_CURS_IS_QUERY, "The statement returns a result-set")
LMR_RESOURCESTRING(LUMRA_ERR_CURS_BI_NOT_SUPP, "Bidirectional cursors not supported")
LMR_RESOURCESTRING(LUMRA_ERR_CURS_NOT_PREPARED, "The cursor is not prepared")
LMR_RESOURCESTRING(LUMRA_ERR_CURS_NOT_OPENED, "The cursor is not opened")
LMR_RESOURCESTRING(LUMRA_ERR_CURS_READ_ONLY, "The cursor is read-only")
LMR_RESOURCESTRING(LUMRA_ERR_CURS_MISSING_ROWID, "Cursor is missing rowid")
LMR_RESOURCESTRING(LUMRA_ERR_FIELD_NOT_FOUND, "Field \"%s\" not found")
LMR_RESOURCESTRING(LUMRA_ERR_PARAM_NOT_FOUND, "Host variable \"%s\" not found")
LMR_RESOURCESTRING(LUMRA_ERR_BLOB_REQUIRED, "Field \"%s\" is not a blob")
LMR_RESOURCESTRING(LUMRA_ERR_BLOB_STREAM_INVALID, "Not a valid stream parameter")
LMR_RESOURCESTRING(LUMRA_ERR_BLOB_PICTURE_INVALID, "Not a valid picture parameter")
LMR_RESOURCESTRING(LUMRA_TXT_FALSE, "False")
LMR_RESOURCESTRING(LUMRA_TXT_TRUE, "True")

#undef LMR_RESOURCESTRING

void LmrDummyProc() {
    throw ELumraException(host::LoadResString(LUMRA_ERR_LIB_WRONG), 0, 0);
}

int32_t LmrDummyProcNoExcept() {
    return 0;
}
