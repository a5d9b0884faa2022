// Small shared types of the framework layer and the store, and the framework's German messages.
#pragma once

#include <cstdint>

// Update status of a cached row.
enum TUpdateStatus : uint8_t { usUnmodified = 0, usModified = 1, usInserted = 2, usDeleted = 3 };
// The framework's update actions; the store also uses urNone = 5 for "not applied yet".
enum TUpdateAction : uint8_t { uaFail = 0, uaAbort = 1, uaSkip = 2, uaRetry = 3, uaApplied = 4 };
inline constexpr uint8_t urNone = 5;
// OnUpdateRecord may answer this value to ask for the built-in processing.
inline constexpr uint8_t uaDefault = 10;
// Kinds of cached update, in the framework's order.
enum TUpdateKind : uint8_t { ukModify = 0, ukInsert = 1, ukDelete = 2 };

// Set of update statuses, bit n = status n.
using TUpdateStatusSet = uint8_t;
inline constexpr TUpdateStatusSet UpdateStatusBit(TUpdateStatus s) {
    return TUpdateStatusSet(1u << s);
}

// The framework's German messages.
#define VESTRA_AE "\xE4"
#define VESTRA_OE "\xF6"
#define VESTRA_UE "\xFC"
inline constexpr const char* SNotEditing = "Datenmenge weder im Editier- noch im Einf" VESTRA_UE "gemodus";
inline constexpr const char* SFieldReadOnly = "Feld '%s' kann nicht ver" VESTRA_AE "ndert werden";
inline constexpr const char* SDataSetReadOnly =
    "Eine Datenmenge, die nur zum Lesen ist, kann nicht ge" VESTRA_AE "ndert werden";
inline constexpr const char* SDataSetClosed =
    "Operation bei geschlossener Datenmenge nicht ausf" VESTRA_UE "hrbar";
inline constexpr const char* SDataSetOpen =
    "Operation bei ge" VESTRA_OE "ffneter Datenmenge nicht ausf" VESTRA_UE "hrbar";
inline constexpr const char* SCircularDataLink = "Zirkul" VESTRA_AE "re Datenverbindungen sind nicht erlaubt";
inline constexpr const char* SDataSetEmpty = "Operation bei leerer Datenmenge nicht ausf" VESTRA_UE "hrbar";
inline constexpr const char* SFieldNotFound = "Feld '%s' nicht gefunden";
inline constexpr const char* SFieldRequired = "Feld '%s' mu"
                                              "\xDF"
                                              " einen Wert haben";
inline constexpr const char* SFieldRangeError =
    "%g ist kein g" VESTRA_UE "ltiger Wert f" VESTRA_UE "r das Feld '%s'. Der erlaubte Bereich ist %g bis %g";
inline constexpr const char* SNotBrowsing = "Datenmenge ist nicht im Durchsuchen-Modus";
inline constexpr const char* SFieldTypeMismatch = "Feld '%s' hat einen ung" VESTRA_UE "ltigen Typ";
inline constexpr const char* SInvalidFieldValue =
    "'%s' ist kein g" VESTRA_UE "ltiger Wert f" VESTRA_UE "r das Feld '%s'";
inline constexpr const char* SParameterNotFound = "Parameter '%s' nicht gefunden";
inline constexpr const char* SDuplicateFieldName = "Doppelter Feldname '%s'";
inline constexpr const char* SBookmarkNotFound = "Datensatz nicht gefunden";
inline constexpr const char* SBlobInFilter =
    "Zugriff auf BLOB-Felder im Filtermodus nicht m" VESTRA_OE "glich";
