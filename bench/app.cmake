# Desktop benchmarks: the chart frame drawing and taking the generator's points.
if(TARGET teravox_charts)
  teravox_add_bench(bench_charts LIBS teravox_charts teravox_model SOURCES bench_charts.cpp)
endif()
