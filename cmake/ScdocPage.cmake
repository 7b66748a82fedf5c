# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

# cmake -DSCDOC=... -DGZIP=... -DSOURCE=page.N.scd -DPAGE=page.N.gz -P ScdocPage.cmake
# One manual page: scdoc reads the source on its standard input; the page is
# compressed without a name or a time stamp in its header.
get_filename_component(roff ${PAGE} NAME_WLE)
set(roff ${PAGE}.tmp/${roff})
file(MAKE_DIRECTORY ${PAGE}.tmp)
execute_process(COMMAND ${SCDOC} INPUT_FILE ${SOURCE} OUTPUT_FILE ${roff} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "scdoc could not read ${SOURCE}")
endif()
execute_process(COMMAND ${GZIP} -9nf ${roff} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${roff}")
endif()
file(RENAME ${roff}.gz ${PAGE})
file(REMOVE_RECURSE ${PAGE}.tmp)
