-- Float accumulation: while (i < N) { sum += x * 0.5; x += 1.0; i++; }
local i, x, sum, n = 0, 0.0, 0.0, 20000000  -- N
while i < n do
  sum = sum + x * 0.5
  x = x + 1.0
  i = i + 1
end
print(sum)
