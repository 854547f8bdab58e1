// The message catalogue of both units: identifiers, texts, placeholders, and
// loading at the moment of use (an override set later is seen by the next
// load), plus the package's identity constants.
#include "LmrBasDS/LmrDatasetErrors.h"
#include "LmrBase/LmrErrors.h"

#include "host/ResourceStrings.h"
#include "host/SysUtils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

struct Message {
    const host::TResStringRec* Rec;
    const char* Identifier;
    const char* Text;
};

#define MSG(Name, Text)                                                                                      \
    { &Name, #Name, Text }

const std::vector<Message> kLmrBase = {
    MSG(LUMRA_ERR_LIB_PATH_NOT_FOUND, "Could not find database library path"),
    MSG(LUMRA_ERR_LIB_LOAD_FAILED, "Could not load the Database Interface library"),
    MSG(LUMRA_ERR_LIB_INIT_FAILED, "Unable to initialize database interface"),
    MSG(LUMRA_ERR_LIB_WRONG, "Function not supported by this version of the Database Interface library"),
    MSG(LUMRA_ERR_SESS_NIL, "The session property is not linked to a session"),
    MSG(LUMRA_ERR_SESS_TRANS_ACTIVE, "A user transaction is already in progress"),
    MSG(LUMRA_ERR_SESS_CONNECTED, "Not allowed while connected to a database"),
    MSG(LUMRA_ERR_SESS_INVALID_HANDLE, "Invalid database handle"),
    MSG(LUMRA_ERR_STMT_NOT_PREPARED, "The statement is not prepared"),
    MSG(LUMRA_ERR_CURS_NOT_QUERY, "The statement doesn't return a result-set"),
    MSG(LUMRA_ERR_CURS_IS_QUERY, "The statement returns a result-set"),
    MSG(LUMRA_ERR_CURS_BI_NOT_SUPP, "Bidirectional cursors not supported"),
    MSG(LUMRA_ERR_CURS_NOT_PREPARED, "The cursor is not prepared"),
    MSG(LUMRA_ERR_CURS_NOT_OPENED, "The cursor is not opened"),
    MSG(LUMRA_ERR_CURS_READ_ONLY, "The cursor is read-only"),
    MSG(LUMRA_ERR_CURS_MISSING_ROWID, "Cursor is missing rowid"),
    MSG(LUMRA_ERR_FIELD_NOT_FOUND, "Field \"%s\" not found"),
    MSG(LUMRA_ERR_PARAM_NOT_FOUND, "Host variable \"%s\" not found"),
    MSG(LUMRA_ERR_BLOB_REQUIRED, "Field \"%s\" is not a blob"),
    MSG(LUMRA_ERR_BLOB_STREAM_INVALID, "Not a valid stream parameter"),
    MSG(LUMRA_ERR_BLOB_PICTURE_INVALID, "Not a valid picture parameter"),
    MSG(LUMRA_TXT_FALSE, "False"),
    MSG(LUMRA_TXT_TRUE, "True"),
};

const std::vector<Message> kLmrBasDS = {
    MSG(SLmrEmptySQLStatement, "No SQL statement available"),
    MSG(SLmrDataSetPrepared, "Cannot perform this operation on an open or prepared dataset"),
    MSG(SLmrRowChanged, "Couldn't perform the edit because another user changed the record"),
    MSG(SLmrNoStoredProcName, "Empty or missing Stored Procedure name"),
    MSG(SLmrTooManyResultProcParams, "Too many Stored Function result parameters"),
    MSG(SLmrStoredProcCompleted, "The Stored Procedure has completed"),
    MSG(SLmrNoParameterValue, "No value for parameter '%s'"),
    MSG(SLmrNoParameterType, "No parameter type for parameter '%s'"),
    MSG(SLmrStoredProcRefresh, "Cannot perform this operation on a Stored Procedure"),
    MSG(SLmrNoFieldAccess, "Cannot access field '%s' in a filter"),
    MSG(SLmrNoMissingOrderBy, "Missing ORDER BY clause to build index"),
};

#undef MSG

TEST(MessageCatalogue, EveryMessageHasItsIdentifierAndExactText) {
    std::set<std::string> Identifiers;
    for (const auto* Unit : {&kLmrBase, &kLmrBasDS}) {
        for (const Message& m : *Unit) {
            EXPECT_STREQ(m.Rec->Identifier, m.Identifier);
            EXPECT_EQ(host::LoadResString(*m.Rec), m.Text) << m.Identifier;
            Identifiers.insert(m.Rec->Identifier);
        }
    }
    EXPECT_EQ(Identifiers.size(), 34u) << "identifiers must be distinct";
}

TEST(MessageCatalogue, FieldNotFoundForColumnSevenQuotesTheDigit) {
    EXPECT_EQ(host::Format(host::LoadResString(LUMRA_ERR_FIELD_NOT_FOUND), {std::to_string(7)}),
              "Field \"7\" not found");
    EXPECT_EQ(host::Format(host::LoadResString(LUMRA_ERR_FIELD_NOT_FOUND), {host::Variant(int32_t{7})}),
              "Field \"7\" not found");
}

TEST(MessageCatalogue, PlaceholdersAreQuotedDoubleInTheCoreAndSingleInTheDatasetLayer) {
    EXPECT_EQ(host::Format(host::LoadResString(LUMRA_ERR_PARAM_NOT_FOUND), {"ID"}),
              "Host variable \"ID\" not found");
    EXPECT_EQ(host::Format(host::LoadResString(LUMRA_ERR_BLOB_REQUIRED), {"PHOTO"}),
              "Field \"PHOTO\" is not a blob");
    EXPECT_EQ(host::Format(host::LoadResString(SLmrNoParameterValue), {"P1"}), "No value for parameter 'P1'");
    EXPECT_EQ(host::Format(host::LoadResString(SLmrNoParameterType), {"P1"}),
              "No parameter type for parameter 'P1'");
    EXPECT_EQ(host::Format(host::LoadResString(SLmrNoFieldAccess), {"NOTES"}),
              "Cannot access field 'NOTES' in a filter");
}

TEST(MessageCatalogue, TextsAreLoadedAtTheMomentOfUse) {
    host::SetResStringOverride("LUMRA_ERR_LIB_WRONG", "Funktion nicht unterstuetzt");
    EXPECT_EQ(host::LoadResString(LUMRA_ERR_LIB_WRONG), "Funktion nicht unterstuetzt");
    try {
        LmrDummyProc();
        ADD_FAILURE() << "LmrDummyProc returned";
    } catch (const ELumraException& e) {
        EXPECT_EQ(e.Message(), "Funktion nicht unterstuetzt");
    }
    host::ClearResStringOverride("LUMRA_ERR_LIB_WRONG");
    EXPECT_EQ(host::LoadResString(LUMRA_ERR_LIB_WRONG),
              "Function not supported by this version of the Database Interface library");
}

TEST(IdentityConstants, NameThePackageAndItsVersion) {
    EXPECT_STREQ(szLumraDBVersion, "1.88a");
    EXPECT_STREQ(szLumraLibraryName, "LumraDB");
    EXPECT_STREQ(szLumraLibraryShortName, "LMR");
}

} // namespace
