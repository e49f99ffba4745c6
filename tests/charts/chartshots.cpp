// Takes the screenshots of the new layouts in the chart frame: the plan of a 3D grid's readings, one of
// its lines along Y as a pseudo-section, and a multiple gradient's pseudo-section. Run under Xvfb by
// scripts/screenshots.sh: chartshots OUTDIR.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "charts/graphreportframe.h"
#include "model/cable.h"
#include "model/generate.h"
#include "model/grid3d.h"
#include "tests/support/fixtures.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: chartshots OUTDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    // Six cables of sixteen electrodes, 5 m apart, laid 10 m apart: dipole-dipole levels 1 to 4 along
    // both ways and across.
    auto seq = std::make_unique<TSequence>();
    TCable cable;
    for (int i = 0; i < 6; ++i)
        cable.Segments[i] = MakeSegment("Cable " + std::to_string(i + 1), static_cast<int16_t>(16 * i + 1),
                                        static_cast<int16_t>(16 * i + 16), 5, false);
    ApplyCableSet(*seq, cable);
    seq->Name.Set("Grid 6x16");
    seq->ArrayType = 0;
    seq->Spacing[0] = 5;
    seq->LevelUsed[0] = 0b1111;
    seq->GridLineX = 6;
    seq->GridLineY = 16;
    TGridLayout layout;
    layout.LineSpacing = 10;
    layout.YLines = true;
    layout.CrossLines = true;
    TNullChartSink none;
    GenerateGrid(*seq, layout, none);

    TGraphReportFrame frame;
    frame.resize(900, 560);
    frame.show();
    QObject::connect(&frame, &TGraphReportFrame::viewChanged, [&] { frame.DrawSequence(*seq); });
    frame.DrawSequence(*seq);
    auto grab = [&](const QString& name) {
        QApplication::processEvents();
        frame.FlushReplot();
        QApplication::processEvents();
        return frame.grab().save(out + "/" + name);
    };
    bool ok = grab("grid3d-plan-view.png");
    frame.LineCmb->setCurrentIndex(frame.LineCmb->findText("Along Y, line 4 (x = 15)"));
    ok = grab("grid3d-line-view.png") && ok;

    // A multiple gradient of separations 1 to 6 on 48 electrodes 5 m apart, by investigation depth:
    // the readings under one potential dipole lie at the depths their places in the current dipole give.
    TLineSpec mgSpec;
    mgSpec.Array = static_cast<int>(TArrayType::MultipleGradient);
    mgSpec.Levels = 0x3F;
    auto mg = MakeLine(MakeCable({{1, 48, 5}}), mgSpec);
    mg->Name.Set("MG 5m s1-6");
    GenerateSequence(*mg, ModeCreate, none);
    seq = std::move(mg);
    frame.SetViewIndex(1);
    frame.DrawSequence(*seq);
    ok = grab("mg-pseudo-section.png") && ok;
    return ok ? 0 : 1;
}
