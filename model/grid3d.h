// Three-dimensional grids of lines: the electrodes of a cable set laid out as GridLineX lines along X,
// GridLineY electrodes each, and the quadripoles of the record's array measured along those lines.
//
// Layout. Line i (0 to GridLineX - 1) runs along X at y0 + i D; its electrodes sit at x0, x0 + a, ...,
// x0 + (GridLineY - 1) a, so the grid's lines along Y (one per column, GridLineY of them) are a apart
// and hold GridLineX electrodes D apart. The cables are laid parallel: every line starts at x0 and runs
// towards +X, and the electrodes are numbered line by line in the order placement takes them from the
// cable set (the first GridLineY electrodes make line 1, the next line 2, ...). Which nodes become
// electrodes follows the rule of a line (an electrode each time at least a of cable has run); inactive
// nodes stay on the cable after the electrode they follow, on its line, towards +X.
//
// Listing. Every line along X is listed as a line of the record's array (spacings, dipole lengths as
// multiples of the line's own electrode step, levels, order and all), line after line; then, when
// asked, every line along Y the same way with step D; then, when asked, the cross-line dipole-dipole
// readings between neighbouring lines (along X, and along Y when those are listed too): the current
// dipole on one line and the potential dipole of the same length on the next, level n putting it n - 1
// electrodes further along (level 1 straight across) and, for n above 1, also n - 1 electrodes back.
// Cross-line readings keep the design's dipole lengths and levels. K comes from the electrodes' true
// positions, as for any quadripole.
//
// The array type keeps its code (the record marks a grid by GridLineX not being 0), so exports name it
// "Mixed" and the sequence dialog shows it in its 3D section.
#pragma once

#include <optional>

#include "model/chartsink.h"
#include "model/generate.h"
#include "model/gridlayout.h"
#include "model/sequence.h"
#include "model/sequencerules.h"

// How many electrodes the grid uses: GridLineX x GridLineY.
int GridElectrodeCount(const TSequence& seq);

// Why GenerateGrid cannot run: GenerationPrecondition's answer for the record; grid sizes outside 1 to
// 100; more than 1,999 electrodes; an array type without a listing scheme; a line spacing not finite,
// below MinDistinctSpacing, or putting the lines beyond 999,999; a cable set with fewer nodes from the
// first electrode than the grid needs.
std::optional<TGenerationProblem> GridPrecondition(const TSequence& seq, const TGridLayout& layout);

// Places the grid's electrodes and lists its quadripoles, feeding the chart as the line generator
// does. NbElectrode becomes the grid's electrode count; MaxX and MaxY the grid's largest X and Y.
// Returns true when every line was listed; false at the 16,000 cap, or (record untouched) when
// GridPrecondition has an answer.
bool GenerateGrid(TSequence& seq, const TGridLayout& layout, TChartSink& chart);
// The same, `refused` receiving GridPrecondition's answer, so that a caller need not check twice.
bool GenerateGrid(TSequence& seq, const TGridLayout& layout, TChartSink& chart,
                  std::optional<TGenerationProblem>& refused);

// GenerateGrid as Create runs it: std::invalid_argument with GridPrecondition's text when it cannot
// run (record untouched); says when the cap cut the grid and why nothing fitted.
TGenerationResult RunGridGeneration(TSequence& seq, const TGridLayout& layout, TChartSink& chart);

// The layout of a generated grid, read back from it: D from its electrodes (the electrode spacing a
// for a grid of one line), the Y lines and cross-line readings from its quadripoles. Nothing for a
// record that is not a grid or whose electrodes are not placed as one.
std::optional<TGridLayout> GridLayoutOf(const TSequence& seq);

// Where a reading of a grid lies.
struct TGridPlace {
    TGridLineKind Kind = TGridLineKind::None;
    int Index = 0;
    float Along = 0;     // the centre's position along its line: X for lines along X, Y for lines along Y
    float X = 0, Y = 0;  // the reading's centre in plan (a gradient reading's: its potential dipole's)
};
TGridPlace GridPlaceOf(const TSequence& seq, const TQuadripole& q);

// The "Level" and "Investigation depth" values of a grid's reading: those of a line, measured along
// the reading's own line (a reading along Y has steps of D, not a), with centres apart in plan.
float GridChartValue(const TSequence& seq, const TQuadripole& q, int view);
