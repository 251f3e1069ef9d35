# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DGENERATOR=... -P run_consumer_test.cmake
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
    execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "Failed (${rc}): ${ARGV}\n${out}\n${err}")
    endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component Unspecified)

foreach(header zelvar/patlookup.h zelvar/platform.h)
    if(NOT EXISTS ${prefix}/include/${header})
        message(FATAL_ERROR "The installed package lacks ${header}")
    endif()
endforeach()

# find_package
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/zelvar-consumer)

# pkg-config
find_program(PKG_CONFIG pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs ZelvarPatLookup
    RESULT_VARIABLE rc OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know ZelvarPatLookup: ${err}")
endif()
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs Qt6Widgets OUTPUT_VARIABLE qtflags OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(qtflags UNIX_COMMAND "${qtflags}")
run(c++ -std=c++20 -fPIC ${SOURCE_DIR}/main.cpp ${flags} ${qtflags} -Wl,-rpath,${prefix}/lib -o ${WORK_DIR}/zelvar-consumer-pc)
run(${WORK_DIR}/zelvar-consumer-pc)
