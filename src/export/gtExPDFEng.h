// The PDF engine classes the library instantiates.
#pragma once

#include "export/gtCstPDFEng.h"

namespace nx {

class TgtExPDFEngine : public TgtCustomPDFEngine {};

class TgtPDFEngine : public TgtExPDFEngine {};

}  // namespace nx
