// The functions the table of checks runs, each named for what it holds a plug-in to.
#pragma once

#include "checks/check.h"

namespace rawout {

// The module: its entry points and name, its about box, the host's process as it leaves it.
Verdict loadsWithTheEntryPoints(const CheckContext& context);
Verdict buildsACleanModule(const CheckContext& context);
Verdict namesItsFormat(const CheckContext& context);
Verdict keepsItsNameAtOneAddress(const CheckContext& context);
Verdict keepsItsNameThroughSaves(const CheckContext& context);
Verdict leavesTheProcessAsFound(const CheckContext& context);
Verdict writesNothingToTheStreams(const CheckContext& context);
Verdict showsItsAboutBox(const CheckContext& context);

// Its saves, whatever the format writes.
Verdict reportsOneExtensionThatFits(const CheckContext& context);
Verdict acceptsEveryByteValue(const CheckContext& context);
Verdict acceptsAnEmptyBlock(const CheckContext& context);
Verdict replacesALongerFile(const CheckContext& context);
Verdict savesWithoutAnExtensionBuffer(const CheckContext& context);
Verdict refusesAMissingFolder(const CheckContext& context);
Verdict reportsAFailedWrite(const CheckContext& context);
Verdict completesALargeBlock(const CheckContext& context);
Verdict savesFromManyThreads(const CheckContext& context);
Verdict writesNoStrayFiles(const CheckContext& context);

// The names it saves under.
Verdict savesUnderEveryName(const CheckContext& context);

// What its files hold: as declared, and the same for the same block.
Verdict writesWhatIsDeclared(const CheckContext& context);
Verdict writesTheSameBytesAgain(const CheckContext& context);

}  // namespace rawout
