# Long run under load: eight host threads printing to two loopback printers
# while the status thread polls one of them. Left out of the default runs
# (label soak); KESTO_SOAK_SECONDS sets the duration (default 30).
kesto_add_test(soak_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/soak_test.cpp
  LIBS kesto_fake_tcp_printer
  LABELS soak
  TIMEOUT 7200)
