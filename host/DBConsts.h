// Messages of the host dataset framework (fields, datasets, data sources),
// with stable identifiers so that LumraDB code can raise them by name and an
// application can replace their texts. Texts with %s/%d are filled with
// host::Format at the moment of use.
#pragma once

#include "host/ResourceStrings.h"

namespace host {

HOST_RESOURCESTRING(SNotEditing, "The dataset is not in edit or insert state")
HOST_RESOURCESTRING(SNotBrowsing, "The dataset is not in browse state")
HOST_RESOURCESTRING(SFieldReadOnly, "Field '%s' is read-only")
HOST_RESOURCESTRING(SFieldNotFound, "Field '%s' does not exist")
HOST_RESOURCESTRING(SFieldRequired, "Field '%s' needs a value")
HOST_RESOURCESTRING(SFieldAccessError, "Field '%s' cannot be read or written as %s")
HOST_RESOURCESTRING(SFieldValueError, "'%s' is not a valid value for field '%s'")
HOST_RESOURCESTRING(SFieldRangeError, "%s is outside the range %s .. %s of field '%s'")
HOST_RESOURCESTRING(SFieldSizeError, "Value of field '%s' is longer than its %d bytes")
HOST_RESOURCESTRING(SInvalidFieldSize, "Field size %d is not valid for this field type")
HOST_RESOURCESTRING(SUnknownFieldType, "Field '%s' has a type without a field class")
HOST_RESOURCESTRING(SFieldTypeMismatch, "Field '%s' has type %s, the cursor's column has type %s")
HOST_RESOURCESTRING(SDuplicateFieldName, "Field name '%s' is used twice")
HOST_RESOURCESTRING(SLookupInfoError, "Lookup definition of field '%s' is incomplete")
HOST_RESOURCESTRING(SDataSetMissing, "Field '%s' belongs to no dataset")
HOST_RESOURCESTRING(SDataSetOpen, "This operation needs a closed dataset")
HOST_RESOURCESTRING(SDataSetClosed, "This operation needs an open dataset")
HOST_RESOURCESTRING(SDataSetEmpty, "This operation needs a dataset with records")
HOST_RESOURCESTRING(SDataSetReadOnly, "The dataset cannot be modified")
HOST_RESOURCESTRING(SRecordNotFound, "The record can no longer be found")
HOST_RESOURCESTRING(SBookmarkInvalid, "The bookmark does not denote a record")
HOST_RESOURCESTRING(SCircularDataLink, "Circular datalinks are not allowed")
HOST_RESOURCESTRING(SDataSourceFixed, "The data source of this link cannot be changed")
HOST_RESOURCESTRING(SBlobStreamUnavailable, "The dataset gives no stream for blob field '%s'")
HOST_RESOURCESTRING(SIndexNotFound, "Index '%s' does not exist")
HOST_RESOURCESTRING(SProviderSQLNotSupported, "The dataset does not run SQL for a provider")
HOST_RESOURCESTRING(SProviderExecuteNotSupported, "The dataset cannot execute a provider command")
HOST_RESOURCESTRING(SParamsNotSupported, "The dataset takes no provider parameters")
HOST_RESOURCESTRING(STextTrue, "True")
HOST_RESOURCESTRING(STextFalse, "False")

} // namespace host
