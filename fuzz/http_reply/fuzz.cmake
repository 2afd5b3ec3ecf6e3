dk_add_fuzzer(http_reply LIBS dk_engine)
