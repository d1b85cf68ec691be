#pragma once

#include "help/RtfReader.h"

class QTextDocument;

// Replaces the content of `target` with the paragraphs and runs of `rtf`.
void FillTextDocument(QTextDocument &target, const TRtfDocument &rtf);
