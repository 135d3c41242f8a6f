# Display time against reply lines, ours and the floors; log-log, so a
# straight line of slope 1 is linear growth.
set terminal pngcairo size 800,500 noenhanced
set output output
set title "Showing a reply in the results box (median, min to max)"
set xlabel "reply lines"
set ylabel "time (ms)"
set logscale xy
set key bottom right
set grid
plot data using 1:2:3:4 with yerrorlines title "ours: lookup display path (TMemo::Add per row)", \
     data using 1:5:6:7 with yerrorlines title "floor: appendPlainText per row, bare QPlainTextEdit", \
     data using 1:8:9:10 with yerrorlines title "setPlainText of the whole reply"
