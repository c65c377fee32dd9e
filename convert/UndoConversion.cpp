// Undoing the last conversion and recording it in the import log.
#include "convert/UndoConversion.h"

#include "common/Exceptions.h"
#include "common/Platform.h"
#include "convert/ImportLog.h"

namespace norrvik {

TConversionUndone UndoLastConversion(const std::string& folder)
{
    TConversionUndone undone;
    // Recorded while the folder is still locked; the database is back
    // whatever becomes of the log, so a failure there is only a warning.
    undone.Result = UndoLastRun(folder, [&](const TUndoResult& result) {
        try {
            TImportLogWriter(PathFromText(folder)).WriteUndone(result.RunNumber);
        } catch (const Exception& error) {
            undone.LogWarning = std::string("The run was undone, but the import log does not say so: ") + error.what();
        }
    });
    return undone;
}

std::string UndoneText(const TUndoResult& result, std::string_view what, std::string_view before)
{
    const std::string patterns =
        std::to_string(result.PatternsRemoved) + (result.PatternsRemoved == 1 ? " pattern" : " patterns");
    const std::string undid = "Undid " + std::string(what);
    if (result.DatabaseRemoved)
        return undid + ", which created the database: its files are deleted (" + patterns + ").";
    return undid + ": removed " + patterns + "; the database is as it was before " + std::string(before) + ".";
}

} // namespace norrvik
