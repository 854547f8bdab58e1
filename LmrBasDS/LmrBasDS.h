// Unit LmrBasDS: the dataset layer. Including this header gives the
// parameters, the dataset core, the query dataset and the dataset layer's
// errors.
#pragma once

#include "LmrBasDS/LmrCustomDataset.h"
#include "LmrBasDS/LmrDataset.h"
#include "LmrBasDS/LmrDatasetErrors.h"
#include "LmrBasDS/LmrParams.h"
