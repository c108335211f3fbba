#include "shell/JobDesign.h"

#include "engine/PrnFile.h"

namespace velm {

void SetToolbarJobDesignValues(TPrintFile& job)
{
    job.ViewButtonVisible = false;
    job.OutputTo = poViewer;
    job.Orientation = Default;
    job.ViewBkColor = 11234567;
    job.Units = poInches;
    job.ViewHeading = "Velm Viewer";
    job.ContentsLeft = 1.0;
    job.PageLayout = pl_1x1;
    job.PagesToPrint = pAll;
    job.Input = frFile;
    job.ZoomPercentage = 100.0;
    job.HeaderFont = TFont{"Arial", 16, clWindowText, 0, 96};
    job.FooterFont = TFont{"Arial", 12, clWindowText, 0, 96};
    job.ContentsFont = TFont{"Arial", 14, clWindowText, 0, 96};
    job.HeaderTop = 0.5;
    job.HeaderStringCenter = "Page Header";
    job.HeaderEnabled = job.HeaderOutlined = true;
    job.HeaderFilled = false;
    job.FooterTop = 24.63;
    job.FooterString = "Page Footer";
    job.FooterEnabled = job.FooterOutlined = job.FooterFilled = true;
    job.BorderLeft = job.BorderRight = 0.25;
    job.DateTimeStampEnabled = job.PageNumberEnabled = true;
    job.LineSpacing = 1.5;
    job.FrameStyleLeft = job.FrameStyleRight = frNone;
    job.FrameStyleTop = job.FrameStyleBottom = frSingleThin;
}

} // namespace velm
