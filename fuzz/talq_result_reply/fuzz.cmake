dk_add_fuzzer(talq_result_reply LIBS dk_engine)
