# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DGENERATOR=... -DLIBDIR=... -DDATADIR=...
#       -P run_consumer_test.cmake
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
    execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "Failed (${rc}): ${ARGV}\n${out}\n${err}")
    endif()
endfunction()

# What the two packages of the component hold: the library, and what a host builds with.
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component runtime)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component dev)

foreach(file include/zelvar/patlookup.h include/zelvar/platform.h ${LIBDIR}/libZelvarPatLookup.so
             ${LIBDIR}/cmake/ZelvarPatLookup/ZelvarPatLookupConfig.cmake ${LIBDIR}/pkgconfig/ZelvarPatLookup.pc
             ${DATADIR}/ZelvarPatLookup/SharedFiles/PR.xsl)
    if(NOT EXISTS ${prefix}/${file})
        message(FATAL_ERROR "The installed package lacks ${file}")
    endif()
endforeach()

# find_package
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR} -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)

# pkg-config
find_program(PKG_CONFIG pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs ZelvarPatLookup
    RESULT_VARIABLE rc OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know ZelvarPatLookup: ${err}")
endif()
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs Qt6Widgets OUTPUT_VARIABLE qtflags OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(qtflags UNIX_COMMAND "${qtflags}")
run(c++ -std=c++20 -fPIC ${SOURCE_DIR}/main.cpp ${flags} ${qtflags} -Wl,-rpath,${prefix}/${LIBDIR}
    -o ${WORK_DIR}/zelvar-consumer-pc)

# A runtime-only package: the versioned library and its soname link, no development link.
file(REMOVE ${prefix}/${LIBDIR}/libZelvarPatLookup.so)
set(ENV{XDG_DATA_HOME} ${WORK_DIR}/user/data)
set(ENV{XDG_CONFIG_HOME} ${WORK_DIR}/user/config)
run(${WORK_DIR}/build/zelvar-consumer)
run(${WORK_DIR}/zelvar-consumer-pc)
