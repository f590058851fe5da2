-- String concatenation: append one character N times.
local i, s = 0, ""
while i < 60000 do  -- N
  s = s .. "x"
  i = i + 1
end
print(#s)
