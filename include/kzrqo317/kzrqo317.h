/* libkzrqo317: raster pages in, printer command stream out, for printer model 317. */
#ifndef KZRQO317_H
#define KZRQO317_H

#include "job.h"
#include "platform.h"
#include "records.h"
#include "result.h"
#include "tables.h"

#endif
