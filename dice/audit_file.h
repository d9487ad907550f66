// The audit file, switched on by the operator beside the roll audit: every audit line the log
// gets (a commitment, a record, a reveal), without the log's marker, after its UTC time, in a
// file per UTC day that can be published on its own: FOLDER/rolls-YYYY-MM-DD.txt.
#pragma once

#include <string>
#include <string_view>

#include "dice/utc_time.h"

// At load: the day files go into `folder` (created when missing; the folder above must exist).
// The file itself is opened for the first line it gets.
void UseAuditFile(const std::string& folder);

// At unload, after the last reveal: closes the file and switches it off.
void StopAuditFile();

bool AuditFileOn();

// Logs "Rollmoot: Roll audit file: PATH", PATH being the file of `day`'s date.
void AnnounceAuditFile(UtcSeconds day);

// Appends "TIME TEXT" and the line end to the file of the date of `day` (the date of the key
// the line belongs to, so that a key's lines share one file), TIME being `now`. The line is
// out of the process when this returns. A failure logs one error line per streak of failures
// ("Rollmoot: Roll audit file: cannot write PATH: REASON"), the first line that is written
// again after one "Rollmoot: Roll audit file: writing again". Nothing from the heap, but for
// the wide path Windows takes when a day's file is opened.
void WriteAuditFileLine(UtcSeconds day, UtcSeconds now, std::string_view text);
