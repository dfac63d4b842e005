# Draws bench/results/scaling.png from the .dat files summarize.py writes.
#   gnuplot -e "dir='bench/results'" bench/scaling.gp
if (!exists("dir")) dir = "bench/results"

set terminal pngcairo size 1200,480 font "sans,10"
set output dir."/scaling.png"
set multiplot layout 1,2 title "compenv (native build) — mean wall time, error bars ±1σ"

set logscale xy 2
set grid
set key top left
set xlabel "hive size (MB)"
set ylabel "time (ms)"
set xtics (1, 4, 16, 64)
set xrange [0.8:80]
set yrange [2:256]
set ytics (2, 4, 8, 16, 32, 64, 128, 256)
set title "time against hive size"
plot dir."/scaling-size.dat" using 1:2:3 with yerrorlines lw 2 pt 7 title "compenv -D7 -BCB6", \
     ""                       using 1:6:7 with yerrorlines lw 2 pt 5 title "grep -F -c Borland", \
     ""                       using 1:4:5 with yerrorlines lw 1 pt 3 dt 2 title "compenv, no option (start-up)"

set logscale x 10
set logscale y 2
set xlabel "number of compiler options"
set xtics (1, 10, 100, 1000)
set xrange [0.7:1500]
set yrange [4:256]
set ytics (4, 8, 16, 32, 64, 128, 256)
set title "time against number of options"
plot dir."/scaling-options.dat" using 1:4:5 with yerrorlines lw 2 pt 7 title "64 MB hive", \
     ""                          using 1:2:3 with yerrorlines lw 2 pt 5 title "fresh prefix hive (1.6 MB)"

unset multiplot
